// The end-to-end test's command line, read once in main:
//   bootnote_e2e_test --binary PATH --abi NAME [--exec-prefix "PROGRAM [ARG...]"] [gtest flags]
// NAME is a build of expected.h ("host", "armeabi-v7a", ...); its qemu, if it
// needs one, and then the exec prefix (valgrind, say) are put before PATH.
#ifndef BOOTNOTE_TESTS_COMMAND_LINE_H_
#define BOOTNOTE_TESTS_COMMAND_LINE_H_

#include <string>
#include <vector>

#include "expected.h"

namespace bootnote_test {

struct command_line {
  std::string binary;
  const abi* build = nullptr;
  std::vector<std::string> exec_prefix;
};

// The command line as main read it.
const command_line& arguments();

// The words that run the binary under test with `operands`.
std::vector<std::string> tool_argv(const std::vector<std::string>& operands);

}  // namespace bootnote_test

#endif  // BOOTNOTE_TESTS_COMMAND_LINE_H_
