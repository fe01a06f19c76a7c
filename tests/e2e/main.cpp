// End-to-end tests of the shipped binary, unchanged: every row of the case
// tables becomes one test, run in a sandbox whose /dev the test owns.
#include <stdio.h>

#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "case_model.h"
#include "command_line.h"
#include "run_case.h"
#include "test_main.h"

namespace bootnote_test {

namespace {

command_line g_arguments;  // set once, in main, before any test

class case_test : public testing::Test {
 public:
  case_test(e2e_case c, log_world log) : case_(std::move(c)), log_(log) {}
  void TestBody() override { run_case(case_, log_); }

 private:
  e2e_case case_;
  log_world log_;
};

void register_cases(const char* suite, const std::vector<e2e_case>& cases) {
  const std::pair<const char*, log_world> kTransports[] = {
      {"logd", logd()}, {"kernel_logger", kernel_logger_only()}, {"no_log", no_log()}};
  for (const e2e_case& c : cases) {
    if (!c.on_each_transport) {
      testing::RegisterTest(suite, c.name.c_str(), nullptr, nullptr, __FILE__, __LINE__,
                            [c]() -> testing::Test* { return new case_test(c, c.log); });
      continue;
    }
    for (const auto& [transport, log] : kTransports) {
      std::string name = c.name + "/" + transport;
      testing::RegisterTest(suite, name.c_str(), nullptr, nullptr, __FILE__, __LINE__,
                            [c, log = log]() -> testing::Test* { return new case_test(c, log); });
    }
  }
}

// Counts the tests of the suite "Faults" and how they ended; prints the
// figures when the program ends.
class fault_tally : public testing::EmptyTestEventListener {
 public:
  void OnTestEnd(const testing::TestInfo& test) override {
    if (std::string(test.test_suite_name()) != "Faults") return;
    ++injected_;
    passed_ += test.result()->Passed() ? 1 : 0;
    skipped_ += test.result()->Skipped() ? 1 : 0;
  }
  void OnTestProgramEnd(const testing::UnitTest&) override {
    if (injected_ > 0)
      printf("fault injection: %d faults injected, %d ran with nothing lost, %d skipped\n", injected_, passed_,
             skipped_);
  }

 private:
  int injected_ = 0, passed_ = 0, skipped_ = 0;
};

void parse(int argc, char** argv) {
  std::string abi_name = "host";
  for (int i = 1; i < argc; i += 2) {
    std::string flag = argv[i];
    if (i + 1 == argc) throw std::invalid_argument(flag + " without a value");
    if (flag == "--binary") {
      g_arguments.binary = argv[i + 1];
    } else if (flag == "--abi") {
      abi_name = argv[i + 1];
    } else if (flag == "--exec-prefix") {
      std::istringstream words(argv[i + 1]);
      for (std::string word; words >> word;) g_arguments.exec_prefix.push_back(word);
    } else {
      throw std::invalid_argument("unknown flag " + flag);
    }
  }
  g_arguments.build = &find_abi(abi_name);
  if (g_arguments.binary.empty() || !std::filesystem::exists(g_arguments.binary))
    throw std::invalid_argument("binary not found: \"" + g_arguments.binary + "\" (build it first)");
  // The runs start in a directory of their own.
  g_arguments.binary = std::filesystem::absolute(g_arguments.binary).string();
}

}  // namespace

const command_line& arguments() { return g_arguments; }

std::vector<std::string> tool_argv(const std::vector<std::string>& operands) {
  std::vector<std::string> argv;
  if (g_arguments.build->needs_qemu) argv.push_back(g_arguments.build->qemu);
  argv.insert(argv.end(), g_arguments.exec_prefix.begin(), g_arguments.exec_prefix.end());
  argv.push_back(g_arguments.binary);
  argv.insert(argv.end(), operands.begin(), operands.end());
  return argv;
}

}  // namespace bootnote_test

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  try {
    bootnote_test::parse(argc, argv);
  } catch (const std::exception& e) {
    fprintf(stderr, "bootnote_e2e_test: %s\nusage: bootnote_e2e_test --binary PATH [--abi NAME] "
                    "[--exec-prefix \"PROGRAM [ARG...]\"] [gtest flags]\n", e.what());
    return 2;
  }
  bootnote_test::register_cases("Cases", bootnote_test::behaviour_cases());
  bootnote_test::register_cases("Faults", bootnote_test::storage_fault_cases());
  bootnote_test::register_cases("Faults", bootnote_test::log_fault_cases());
  bootnote_test::register_cases("Calls", bootnote_test::call_cases());
  testing::UnitTest::GetInstance()->listeners().Append(new bootnote_test::fault_tally);
  return bootnote_test::run_all_tests();
}
