// Runs a command in the test sandbox and shows what it printed and what it
// logged, the log the way `logcat -v threadtime` shows it.
//
//   sandbox_logcat [--kernel-logger] [--pmsg] [--] PROGRAM [ARG...]
//
// --pmsg puts a stand-in for pstore at /dev/pmsg0 and shows what reached it.
// Exits with the command's exit status.
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "sandbox.h"

int main(int argc, char** argv) {
  bootnote_test::sandbox_options options;
  int first = 1;
  for (; first < argc && strncmp(argv[first], "--", 2) == 0 && argv[first][2] != '\0'; ++first) {
    if (strcmp(argv[first], "--kernel-logger") == 0) options.transport = bootnote_test::log_transport::kernel_logger;
    if (strcmp(argv[first], "--pmsg") == 0) options.pmsg = true;
  }
  if (first < argc && strcmp(argv[first], "--") == 0) ++first;
  if (first >= argc) {
    fprintf(stderr, "usage: sandbox_logcat [--kernel-logger] [--pmsg] [--] PROGRAM [ARG...]\n");
    return 2;
  }
  std::vector<std::string> command(argv + first, argv + argc);
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) == nullptr) {
    perror("sandbox_logcat: getcwd");
    return 2;
  }
  try {
    bootnote_test::sandbox_result run = bootnote_test::run_in_sandbox(options, command, cwd);
    printf("--- standard output ---\n%s", run.out.c_str());
    if (!run.err.empty()) printf("--- standard error ---\n%s", run.err.c_str());
    printf("--- log (%s), as logcat shows it ---\n", bootnote_test::transport_name(options.transport));
    for (const bootnote_test::log_record& record : run.log)
      printf("%s", record.threadtime.c_str());
    if (options.pmsg) printf("--- /dev/pmsg0: %zu records ---\n", run.pmsg.size());
    for (const bootnote_test::pmsg_record& record : run.pmsg)
      printf("%c uid %u pid %u: %s", record.magic, record.uid, record.pid, record.entry.message.c_str());
    printf("--- exit status %d ---\n", run.exit_status);
    return run.exit_status;
  } catch (const std::exception& e) {
    fprintf(stderr, "sandbox_logcat: %s\n", e.what());
    return 2;
  }
}
