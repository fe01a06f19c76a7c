// Faults around the record's storage: real and read-only block devices,
// storage that answers one request as told, full file systems, no
// permission, hostile operands. Nothing may be lost: the record is exact or
// the failure is logged, and bytes after the record never change.
#include <errno.h>

#include "case_model.h"

namespace bootnote_test {

namespace {

const std::string kLongPath = "x/" + std::string(5000, 'p');
const std::string kOddPath = "m\n\"%s%n\".img";
const std::string kOddCommand = "%n%s%x\x01\x1b\xff\x80";
const std::string kHugeCommand(128 * 1024 - 1, 'A');  // the most one operand may hold

// The tool formats into 1024 bytes: a longer message is cut.
std::string cut(const std::string& message) { return message.substr(0, 1023); }

// What a fault device sees of a run that opens it, makes `writes`, then
// asks `after`.
std::vector<std::string> asked(std::vector<std::string> writes, const std::vector<std::string>& after) {
  writes.insert(writes.begin(), "open O_WRONLY");
  writes.insert(writes.end(), after.begin(), after.end());
  return writes;
}
const std::vector<std::string> kSynced = {"fsync", "flush", "release"};
const std::vector<std::string> kUnsynced = {"flush", "release"};

std::vector<std::string> one_byte_writes() {
  std::vector<std::string> writes;
  for (int i = 0; i < 14; ++i) writes.push_back("write " + std::to_string(i) + " " + std::to_string(14 - i) + " = 1");
  return writes;
}

// A write of "boot-recovery" to the fault device.
e2e_case on_device(const std::string& name, const fault_plan& plan) {
  return {.name = name, .world = target::fault_device, .operands = {kByName, "boot-recovery"}, .device = plan,
          .after = begins_with(kRecoveryRecord), .logged = {info(writing("boot-recovery", kByName))}};
}
e2e_case failing(e2e_case c, int error, const std::string& kept) {
  c.after = kept.empty() ? unchanged() : begins_with(kept);
  c.logged.push_back(entry{priority::error, {write_failed(kByName, because(error))}});
  return c;
}
e2e_case asking(e2e_case c, std::vector<std::string> requests) {
  c.device_asked = std::move(requests);
  return c;
}

}  // namespace

std::vector<e2e_case> storage_fault_cases() {
  return {
      {.name = "loop_device_write", .world = target::loop_device, .operands = {kNode, "boot-recovery"},
       .after = begins_with(kRecoveryRecord), .logged = {info(writing("boot-recovery", kNode))}},
      {.name = "loop_device_erase", .world = target::loop_device, .operands = {kNode}, .log = kernel_logger_only(),
       .after = begins_with(kErasedRecord), .logged = {info(erasing(kNode))}},
      {.name = "by_name_link_write", .world = target::by_name_link, .operands = {kByName, "boot-recovery"},
       .after = begins_with(kRecoveryRecord), .logged = {info(writing("boot-recovery", kByName))}},
      {.name = "by_name_link_erase", .world = target::by_name_link, .operands = {kByName},
       .after = begins_with(kErasedRecord), .logged = {info(erasing(kByName))}},
      // Whether the open or the write refuses a read-only device is the
      // kernel's choice (6.x kernels open it and refuse the write).
      {.name = "read_only_device", .world = target::read_only_loop_device, .operands = {kNode, "boot-recovery"},
       .logged = {info(writing("boot-recovery", kNode)),
                  error_one_of({write_failed(kNode, because(EPERM)), not_found(kNode)})}},
      {.name = "full_tmpfs", .world = target::full_tmpfs, .operands = {"full/misc", "boot-recovery"},
       .logged = {info(writing("boot-recovery", "full/misc")), error(write_failed("full/misc", because(ENOSPC)))}},
      {.name = "no_permission", .operands = {"misc", "boot-recovery"}, .as_nobody = true,
       .logged = {info(writing("boot-recovery", "misc")), error(not_found("misc"))}},
      {.name = "path_longer_than_path_max", .operands = {kLongPath},
       .logged = {info(cut(erasing(kLongPath))), error(cut(not_found(kLongPath)))}},
      {.name = "path_with_newline_quotes_percent", .operands = {kOddPath, "boot-recovery"},
       .after = file_holds(kOddPath, kRecoveryRecord), .logged = {info(writing("boot-recovery", kOddPath))}},
      {.name = "command_with_formats_and_control_bytes", .operands = {"misc", kOddCommand},
       .log = kernel_logger_only(), .after = begins_with(kOddCommand + std::string(14 - kOddCommand.size(), '\0')),
       .logged = {info(writing(kOddCommand, "misc"))}},
      {.name = "command_of_128_KiB", .operands = {"misc", kHugeCommand},
       .after = begins_with(std::string(14, 'A')), .logged = {info(writing(std::string(14, 'A'), "misc"))}},
      asking(on_device("device_sees_one_write_only_open", {}), asked({"write 0 14 = 14"}, kSynced)),
      asking(on_device("device_takes_5_bytes_a_write", {.max_write = 5}),
             asked({"write 0 14 = 5", "write 5 9 = 5", "write 10 4 = 4"}, kSynced)),
      asking(on_device("device_takes_1_byte_a_write", {.max_write = 1}), asked(one_byte_writes(), kSynced)),
      asking(on_device("write_interrupted_once", {.write_errors = {EINTR}}),
             asked({"write 0 14 = EINTR", "write 0 14 = 14"}, kSynced)),
      asking(failing(on_device("write_fails_EIO", {.write_errors = {EIO}}), EIO, ""),
             asked({"write 0 14 = EIO"}, kUnsynced)),
      asking(failing(on_device("write_fails_ENOSPC_after_5_bytes", {.max_write = 5, .write_errors = {0, ENOSPC}}),
                     ENOSPC, "boot-"),
             asked({"write 0 14 = 5", "write 5 9 = ENOSPC"}, kUnsynced)),
      asking(failing(on_device("write_takes_nothing", {.writes_take_nothing = true}), EIO, ""),
             asked({"write 0 14 = 0"}, kUnsynced)),
      asking(failing(on_device("fsync_fails_EIO", {.fsync_error = EIO}), EIO, kRecoveryRecord),
             asked({"write 0 14 = 14"}, {"fsync = EIO", "flush", "release"})),
      asking(on_device("fsync_not_supported_EINVAL", {.fsync_error = EINVAL}),
             asked({"write 0 14 = 14"}, {"fsync = EINVAL", "flush", "release"})),
      asking(failing(on_device("close_fails_EIO", {.flush_error = EIO}), EIO, kRecoveryRecord),
             asked({"write 0 14 = 14"}, {"fsync", "flush = EIO", "release"})),
      asking(on_device("device_refuses_read_opens", {.refuse_read_opens = true}), asked({"write 0 14 = 14"}, kSynced)),
  };
}

}  // namespace bootnote_test
