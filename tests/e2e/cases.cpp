// The tool's behaviour: modes, operands, the record's bytes, created files.
#include <errno.h>

#include "case_model.h"
#include "command_line.h"

namespace bootnote_test {

namespace {

const std::string z(1, '\0');

}  // namespace

std::vector<e2e_case> behaviour_cases() {
  return {
      {.name = "no_operands", .on_each_transport = true,
       .prints = kBanner + kUsage, .logged = {error(kUsageError)}},
      {.name = "three_operands", .operands = {"misc", "boot-recovery", "x"},
       .prints = kBanner + kUsage, .logged = {error(kUsageError)}},
      {.name = "erase", .operands = {"misc"}, .on_each_transport = true,
       .after = begins_with(kErasedRecord), .logged = {info(erasing("misc"))}},
      {.name = "write", .operands = {"misc", "boot-recovery"}, .on_each_transport = true,
       .after = begins_with("boot-recovery" + z), .logged = {info(writing("boot-recovery", "misc"))}},
      {.name = "write_14_bytes", .operands = {"misc", "bootonce-bootl"},
       .after = begins_with("bootonce-bootl"), .logged = {info(writing("bootonce-bootl", "misc"))}},
      {.name = "write_20_bytes_cut", .operands = {"misc", "boot-recovery-wipe12"},
       .after = begins_with("boot-recovery-"), .logged = {info(writing("boot-recovery-", "misc"))}},
      {.name = "write_empty_command", .operands = {"misc", ""},
       .after = begins_with(kErasedRecord), .logged = {info(writing("", "misc"))}},
      {.name = "write_bytes_over_0x80", .operands = {"misc", "\xc3\xa9\xff\x01%s"},
       .after = begins_with("\xc3\xa9\xff\x01%s" + std::string(8, '\0')),
       .logged = {info(writing("\xc3\xa9\xff\x01%s", "misc"))}},
      {.name = "write_command_with_space", .operands = {"misc", "boot recovery"},
       .after = begins_with("boot recovery" + z), .logged = {info(writing("boot recovery", "misc"))}},
      {.name = "hyphen_operand_is_a_path", .world = target::nothing, .operands = {"-h"},
       .after = file_holds("-h", kErasedRecord), .logged = {info(erasing("-h"))}},
      {.name = "missing_file_created", .world = target::nothing, .operands = {"new-misc", "boot-recovery"},
       .after = file_holds("new-misc", "boot-recovery" + z), .logged = {info(writing("boot-recovery", "new-misc"))}},
      {.name = "open_failure", .world = target::nothing, .operands = {"no/such/misc"}, .on_each_transport = true,
       .after = file_missing("no"), .logged = {info(erasing("no/such/misc")), error(not_found("no/such/misc"))}},
      {.name = "write_failure", .operands = {"/dev/full", "boot-recovery"}, .on_each_transport = true,
       .logged = {info(writing("boot-recovery", "/dev/full")), error(write_failed("/dev/full", because(ENOSPC)))}},
  };
}

// The exact system calls of a write run, where this build has a list.
std::vector<e2e_case> call_cases() {
  const abi& build = *arguments().build;
  if (build.write_calls.empty()) return {};
  const std::string record = "boot-recovery" + z;
  return {
      {.name = "write_run", .operands = {"misc", "boot-recovery"}, .calls = build.write_calls,
       .after = begins_with(record), .logged = {info(writing("boot-recovery", "misc"))}},
      {.name = "write_run_with_pmsg", .operands = {"misc", "boot-recovery"}, .log = with_pmsg(logd()),
       .calls = build.write_calls_with_pmsg, .after = begins_with(record),
       .logged = {info(writing("boot-recovery", "misc"))}},
  };
}

}  // namespace bootnote_test
