// The tool's behaviour, case by case, on each log transport.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "e2e.h"

namespace e2e {
namespace {

using bootnote_test::log_transport;

const std::string z(1, '\0');
const std::string kTail = image().substr(14);

struct e2e_case {
  const char* name;
  std::vector<std::string> operands;
  std::string file;            // file in the working directory to check
  bool file_exists_before;     // if so it holds image()
  std::string file_after;      // its bytes afterwards; "-" = must not exist
  std::vector<expected_entry> log;
  bool usage = false;
};

const e2e_case kCases[] = {
    {"no_operands", {}, "misc", true, image(), {{6, kUsageError}}, true},
    {"three_operands", {"misc", "boot-recovery", "x"}, "misc", true, image(), {{6, kUsageError}}, true},
    {"erase", {"misc"}, "misc", true, std::string(14, '\0') + kTail, {{4, erase_message("misc")}}},
    {"write", {"misc", "boot-recovery"}, "misc", true, "boot-recovery" + z + kTail,
     {{4, write_message("boot-recovery", "misc")}}},
    {"write_14_bytes", {"misc", "bootonce-bootl"}, "misc", true, "bootonce-bootl" + kTail,
     {{4, write_message("bootonce-bootl", "misc")}}},
    {"write_20_bytes_cut", {"misc", "boot-recovery-wipe12"}, "misc", true, "boot-recovery-" + kTail,
     {{4, write_message("boot-recovery-", "misc")}}},
    {"write_empty_command", {"misc", ""}, "misc", true, std::string(14, '\0') + kTail,
     {{4, write_message("", "misc")}}},
    {"write_bytes_over_0x80", {"misc", "\xc3\xa9\xff\x01%s"}, "misc", true,
     "\xc3\xa9\xff\x01%s" + std::string(8, '\0') + kTail, {{4, write_message("\xc3\xa9\xff\x01%s", "misc")}}},
    {"hyphen_operand_is_a_path", {"-h"}, "-h", false, std::string(14, '\0'), {{4, erase_message("-h")}}},
    {"missing_file_created", {"new-misc", "boot-recovery"}, "new-misc", false, "boot-recovery" + z,
     {{4, write_message("boot-recovery", "new-misc")}}},
    {"open_failure", {"no/such/misc"}, "no", false, "-",
     {{4, erase_message("no/such/misc")}, {6, not_found("no/such/misc")}}},
    {"write_failure", {"/dev/full", "boot-recovery"}, "misc", true, image(),
     {{4, write_message("boot-recovery", "/dev/full")},
      {6, write_failed("/dev/full", "No space left on device")}}},
};

void PrintTo(const e2e_case& c, std::ostream* os) { *os << c.name; }

class BootnoteEndToEnd : public testing::TestWithParam<std::tuple<e2e_case, log_transport>> {};

TEST_P(BootnoteEndToEnd, PrintsLogsAndWritesExactly) {
  const auto& [c, transport] = GetParam();
  bootnote_test::temp_dir work;
  std::string file = work.path() + "/" + c.file;
  if (c.file_exists_before) std::ofstream(file, std::ios::binary) << image();

  bootnote_test::sandbox_options options;
  options.transport = transport;
  bootnote_test::sandbox_result run = bootnote_test::run_in_sandbox(options, tool_argv(c.operands), work.path());

  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, c.usage ? kBanner + kUsage : kBanner);
  if (c.file_after == "-") {
    EXPECT_FALSE(std::filesystem::exists(file)) << file << " was created";
  } else {
    EXPECT_EQ(bootnote_test::read_file(file), c.file_after) << file;
  }

  expect_log(run.log, transport == log_transport::none ? std::vector<expected_entry>{} : c.log);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BootnoteEndToEnd,
    testing::Combine(testing::ValuesIn(kCases),
                     testing::Values(log_transport::logd, log_transport::kernel_logger, log_transport::none)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) + "_" + transport_name(std::get<1>(info.param));
    });

}  // namespace
}  // namespace e2e
