// End-to-end cases for the shipped binary, unchanged, in a sandbox whose
// /dev holds the log transport the test owns.
//
//   bootnote_e2e_test --binary PATH [--exec-prefix PROGRAM]
//
// The prefix (qemu-arm for the device build) is put before the binary.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sandbox.h"

namespace {

using bootnote_test::log_transport;

std::string g_binary;
std::string g_exec_prefix;

const std::string kRule(46, '-');
const std::string kBanner = "\n" + kRule + "\n-------- bootnote by bootnote.example --------\n" + kRule + "\n";
const std::string kUsage = "\nUsage : bootnote <path of misc> <boot command>\n\n";
const std::string kUsageError = "ERROR : Usage : bootnote <path of misc> <boot command>\n";
const std::string z(1, '\0');

std::string image() {
  std::string bytes(100, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(0xa5 ^ i);
  return bytes;
}
const std::string kTail = image().substr(14);

struct expected_entry {
  int priority;
  std::string message;
};

struct e2e_case {
  const char* name;
  std::vector<std::string> operands;
  std::string file;            // file in the working directory to check
  bool file_exists_before;     // if so it holds image()
  std::string file_after;      // its bytes afterwards; "-" = must not exist
  std::vector<expected_entry> log;
  bool usage = false;
};

std::string write_message(const std::string& command, const std::string& path) {
  return "Writeing boot coommand \"" + command + "\" from partition \"" + path + "\"\n";
}
std::string erase_message(const std::string& path) {
  return "Eraseing boot coommand to partition " + path + "\n";
}
std::string not_found(const std::string& path) {
  return "ERROR : partition not found \"" + path + "\"\n";
}

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
      {6, "ERROR : write failed on partition \"/dev/full\" : No space left on device\n"}}},
};

void PrintTo(const e2e_case& c, std::ostream* os) { *os << c.name; }

class BootnoteEndToEnd : public testing::TestWithParam<std::tuple<e2e_case, log_transport>> {};

TEST_P(BootnoteEndToEnd, PrintsLogsAndWritesExactly) {
  const auto& [c, transport] = GetParam();
  bootnote_test::temp_dir work;
  std::string file = work.path() + "/" + c.file;
  if (c.file_exists_before) std::ofstream(file, std::ios::binary) << image();

  std::vector<std::string> argv;
  if (!g_exec_prefix.empty()) argv.push_back(g_exec_prefix);
  argv.push_back(g_binary);
  argv.insert(argv.end(), c.operands.begin(), c.operands.end());
  bootnote_test::sandbox_result run = bootnote_test::run_in_sandbox(transport, argv, work.path());

  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, c.usage ? kBanner + kUsage : kBanner);
  if (c.file_after == "-") {
    EXPECT_FALSE(std::filesystem::exists(file)) << file << " was created";
  } else {
    EXPECT_EQ(bootnote_test::read_file(file), c.file_after) << file;
  }

  const size_t expected_count = transport == log_transport::none ? 0 : c.log.size();
  ASSERT_EQ(run.log.size(), expected_count);
  for (size_t i = 0; i < expected_count; ++i) {
    EXPECT_EQ(run.log[i].priority, c.log[i].priority) << "entry " << i;
    EXPECT_EQ(run.log[i].tag, "bootnote") << "entry " << i;
    EXPECT_EQ(run.log[i].message, c.log[i].message) << "entry " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BootnoteEndToEnd,
    testing::Combine(testing::ValuesIn(kCases),
                     testing::Values(log_transport::logd, log_transport::kernel_logger, log_transport::none)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) + "_" + transport_name(std::get<1>(info.param));
    });

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string flag = argv[i];
    if (flag == "--binary") {
      g_binary = argv[i + 1];
    } else if (flag == "--exec-prefix") {
      g_exec_prefix = argv[i + 1];
    }
  }
  if (g_binary.empty() || !std::filesystem::exists(g_binary)) {
    fprintf(stderr, "bootnote_e2e_test: binary not found: \"%s\" (build it first)\n", g_binary.c_str());
    return 1;
  }
  return RUN_ALL_TESTS();
}
