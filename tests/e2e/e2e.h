// What the end-to-end cases share: the binary under test, the texts it
// prints and logs, and the checks on a run.
#ifndef BOOTNOTE_TESTS_E2E_H_
#define BOOTNOTE_TESTS_E2E_H_

#include <string>
#include <vector>

#include "sandbox.h"

namespace e2e {

// The binary under test and the words put before it (qemu-arm, valgrind).
extern std::string g_binary;
extern std::vector<std::string> g_exec_prefix;
extern bool g_musl;

// The command line that runs the binary under test with `operands`.
std::vector<std::string> tool_argv(const std::vector<std::string>& operands);

// Inline so that they are made before any table of cases that uses them.
inline const std::string kRule(46, '-');
inline const std::string kBanner =
    "\n" + kRule + "\n-------- bootnote by bootnote.example --------\n" + kRule + "\n";
inline const std::string kUsage = "\nUsage : bootnote <path of misc> <boot command>\n\n";
inline const std::string kUsageError = "ERROR : Usage : bootnote <path of misc> <boot command>\n";

// 100 bytes standing for a partition image: none of them zero.
std::string image();

struct expected_entry {
  int priority;
  std::string message;
};

std::string write_message(const std::string& command, const std::string& path);
std::string erase_message(const std::string& path);
std::string not_found(const std::string& path);
std::string write_failed(const std::string& path, const std::string& reason);

// strerror's text for `error` in the C library of the binary under test
// (--libc musl or glibc): the tool logs it as the reason of a failure.
std::string reason(int error);

// Checks the entries' priority, tag ("bootnote") and message, in order.
void expect_log(const std::vector<bootnote_test::log_record>& log,
                const std::vector<expected_entry>& expected);

// Counts one injected fault, and whether its run lost nothing (the current
// test has no failure). The totals are printed when the tests end.
void count_fault();

}  // namespace e2e

#endif  // BOOTNOTE_TESTS_E2E_H_
