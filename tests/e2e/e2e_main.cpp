// End-to-end tests of the shipped binary, unchanged, each run in a sandbox
// whose /dev holds the log transport the test owns.
//
//   bootnote_e2e_test --binary PATH [--exec-prefix "PROGRAM [ARG...]"] [--libc musl|glibc]
//
// The prefix (qemu-arm for the device build) is put before the binary; the
// C library it was built with decides the texts of its error reasons.
#include <gtest/gtest.h>

#include <errno.h>
#include <string.h>

#include <filesystem>
#include <sstream>

#include "e2e.h"

namespace e2e {

std::string g_binary;
std::vector<std::string> g_exec_prefix;
bool g_musl = false;

std::vector<std::string> tool_argv(const std::vector<std::string>& operands) {
  std::vector<std::string> argv = g_exec_prefix;
  argv.push_back(g_binary);
  argv.insert(argv.end(), operands.begin(), operands.end());
  return argv;
}

std::string image() {
  std::string bytes(100, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(0xa5 ^ i);
  return bytes;
}

std::string write_message(const std::string& command, const std::string& path) {
  return "Writeing boot coommand \"" + command + "\" from partition \"" + path + "\"\n";
}
std::string erase_message(const std::string& path) {
  return "Eraseing boot coommand to partition " + path + "\n";
}
std::string not_found(const std::string& path) {
  return "ERROR : partition not found \"" + path + "\"\n";
}
std::string write_failed(const std::string& path, const std::string& reason) {
  return "ERROR : write failed on partition \"" + path + "\" : " + reason + "\n";
}

void expect_log(const std::vector<bootnote_test::log_record>& log,
                const std::vector<expected_entry>& expected) {
  ASSERT_EQ(log.size(), expected.size()) << "log entries";
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(log[i].priority, expected[i].priority) << "log entry " << i;
    EXPECT_EQ(log[i].tag, "bootnote") << "log entry " << i;
    EXPECT_EQ(log[i].message, expected[i].message) << "log entry " << i;
    // The line logcat prints ends with the priority, the tag and the text.
    std::string text = expected[i].message.substr(0, expected[i].message.find_last_not_of('\n') + 1);
    if (text.find('\n') != std::string::npos) continue;  // printed as several lines
    std::string tail = std::string(" ") + "??VDIWEF"[expected[i].priority & 7] + " bootnote: " + text + "\n";
    EXPECT_TRUE(log[i].threadtime.size() >= tail.size() &&
                log[i].threadtime.compare(log[i].threadtime.size() - tail.size(), tail.size(), tail) == 0)
        << "log entry " << i << " as logcat prints it: " << log[i].threadtime;
  }
}

std::string reason(int error) {
  if (!g_musl) return strerror(error);  // this test runs on glibc too
  switch (error) {
    case EIO: return "I/O error";
    case ENOSPC: return "No space left on device";
    case EPERM: return "Operation not permitted";
    case EPIPE: return "Broken pipe";
  }
  return "musl text of errno " + std::to_string(error) + " not known to the test";
}

namespace {

int g_faults = 0;
int g_faults_without_loss = 0;

// Reports each counted fault when its test ends, and the totals at the end.
class fault_tally : public testing::EmptyTestEventListener {
 public:
  void OnTestEnd(const testing::TestInfo& info) override {
    if (counted_) g_faults_without_loss += info.result()->Passed() ? 1 : 0;
    counted_ = false;
  }
  void OnTestProgramEnd(const testing::UnitTest&) override {
    if (g_faults > 0)
      printf("fault injection: %d faults injected, %d ran with nothing lost\n", g_faults, g_faults_without_loss);
  }
  bool counted_ = false;
};

fault_tally* g_tally = nullptr;

}  // namespace

void count_fault() {
  ++g_faults;
  g_tally->counted_ = true;
}

}  // namespace e2e

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string flag = argv[i];
    if (flag == "--binary") {
      e2e::g_binary = argv[i + 1];
    } else if (flag == "--libc") {
      e2e::g_musl = std::string(argv[i + 1]) == "musl";
    } else if (flag == "--exec-prefix") {
      std::istringstream words(argv[i + 1]);
      for (std::string word; words >> word;) e2e::g_exec_prefix.push_back(word);
    }
  }
  if (e2e::g_binary.empty() || !std::filesystem::exists(e2e::g_binary)) {
    fprintf(stderr, "bootnote_e2e_test: binary not found: \"%s\" (build it first)\n", e2e::g_binary.c_str());
    return 1;
  }
  e2e::g_tally = new e2e::fault_tally;
  testing::UnitTest::GetInstance()->listeners().Append(e2e::g_tally);
  return RUN_ALL_TESTS();
}
