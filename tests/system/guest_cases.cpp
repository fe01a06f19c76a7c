#include "guest_cases.h"

#include <errno.h>

namespace bootnote_test {

std::vector<guest_case> guest_cases(const abi& build, const std::map<std::string, std::string>& paths) {
  auto path = [&paths](guest_disk disk) {
    auto found = paths.find(name_of(disk));
    return found == paths.end() ? std::string() : found->second;
  };
  const std::string misc = path(guest_disk::phone), missing = path(guest_disk::missing);
  const std::string readonly = path(guest_disk::readonly), flushfail = path(guest_disk::flushfail);
  std::vector<guest_case> all = {
      {.name = "write", .command = "boot-recovery", .logged = {{priority::info, writing("boot-recovery", misc)}},
       .misc = misc_after::record, .record = kRecoveryRecord},
      {.name = "command_14_bytes", .command = "bootonce-bootl",
       .logged = {{priority::info, writing("bootonce-bootl", misc)}}, .misc = misc_after::record,
       .record = "bootonce-bootl"},
      {.name = "command_20_bytes", .command = "boot-recovery-wipe12",
       .logged = {{priority::info, writing("boot-recovery-", misc)}}, .misc = misc_after::record,
       .record = "boot-recovery-"},
      {.name = "erase", .logged = {{priority::info, erasing(misc)}}, .misc = misc_after::record, .record = kErasedRecord},
      {.name = "usage", .path = guest_disk::none, .out = kBanner + kUsage, .logged = {{priority::error, kUsageError}}},
      {.name = "unopenable", .path = guest_disk::missing, .command = "boot-recovery",
       .logged = {{priority::info, writing("boot-recovery", missing)}, {priority::error, not_found(missing)}}},
      {.name = "kernel_logger", .log_to = guest_log::kernel_log, .command = "boot-recovery",
       .logged = {{priority::info, writing("boot-recovery", misc)}}, .misc = misc_after::record, .record = kRecoveryRecord},
      // A read-only disk opens and refuses the write; a disk whose flush
      // fails fails the sync.
      {.name = "read_only", .path = guest_disk::readonly, .command = "boot-recovery",
       .logged = {{priority::info, writing("boot-recovery", readonly)},
                  {priority::error, write_failed(readonly, reason(build.library, EPERM))}},
       .misc = misc_after::as_before},
      {.name = "flush_fails", .path = guest_disk::flushfail, .command = "boot-recovery",
       .logged = {{priority::info, writing("boot-recovery", flushfail)},
                  {priority::error, write_failed(flushfail, reason(build.library, EIO))}}},
      // Under the old kernel's call table: the same behaviour.
      {.name = "old_kernel_write", .run = guest_run::old_kernel, .command = "bootonce-bootl",
       .logged = {{priority::info, writing("bootonce-bootl", misc)}}, .misc = misc_after::record,
       .record = "bootonce-bootl", .calls_checked = true},
      {.name = "old_kernel_erase", .run = guest_run::old_kernel, .logged = {{priority::info, erasing(misc)}},
       .misc = misc_after::record, .record = kErasedRecord},
      {.name = "old_kernel_usage", .run = guest_run::old_kernel, .path = guest_disk::none, .out = kBanner + kUsage,
       .logged = {{priority::error, kUsageError}}},
      {.name = "old_kernel_unopenable", .run = guest_run::old_kernel, .path = guest_disk::missing,
       .logged = {{priority::info, erasing(missing)}, {priority::error, not_found(missing)}}},
      // Last, as any later sync of the disk would write it back: the power
      // is cut after it, and the disk image must hold the record.
      {.name = "power_cut", .run = guest_run::held, .command = "boot-powercut",
       .logged = {{priority::info, writing("boot-powercut", misc)}}, .misc = misc_after::record,
       .record = std::string("boot-powercut\0", 14)},
  };
  std::vector<guest_case> selected;
  for (const guest_case& c : all)
    if (c.run != guest_run::old_kernel || !build.old_kernel.empty()) selected.push_back(c);
  return selected;
}

const char* name_of(guest_log log) { return log == guest_log::logd ? "logd" : "kernel-log"; }
const char* name_of(guest_run run) {
  return run == guest_run::plain ? "plain" : run == guest_run::old_kernel ? "old-kernel" : "held";
}
const char* name_of(guest_disk disk) {
  const char* names[] = {"phone", "readonly", "flushfail", "missing", "-"};
  return names[static_cast<int>(disk)];
}

}  // namespace bootnote_test
