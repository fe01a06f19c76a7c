// Runs a command in the test sandbox and shows what it printed and what it
// logged, the log the way `logcat -v threadtime` shows it.
//
//   sandbox_logcat [--kernel-logger] [--pmsg] [--] PROGRAM [ARG...]
//
// The sandbox's /dev holds a logd socket, or with --kernel-logger a
// /dev/log/main instead; --pmsg adds a stand-in for pstore at /dev/pmsg0 and
// shows what reached it. Exits with the command's exit status.
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "log_files.h"
#include "logd_fake.h"
#include "sandbox.h"

int main(int argc, char** argv) {
  bool kernel = false, with_pmsg = false;
  int first = 1;
  for (; first < argc && strncmp(argv[first], "--", 2) == 0 && argv[first][2] != '\0'; ++first) {
    kernel |= strcmp(argv[first], "--kernel-logger") == 0;
    with_pmsg |= strcmp(argv[first], "--pmsg") == 0;
  }
  if (first < argc && strcmp(argv[first], "--") == 0) ++first;
  char cwd[4096];
  if (first >= argc || getcwd(cwd, sizeof cwd) == nullptr) {
    fprintf(stderr, "usage: sandbox_logcat [--kernel-logger] [--pmsg] [--] PROGRAM [ARG...]\n");
    return 2;
  }
  try {
    std::vector<std::unique_ptr<bootnote_test::world_piece>> pieces;
    if (kernel) {
      pieces.push_back(std::make_unique<bootnote_test::kernel_logger>());
    } else {
      pieces.push_back(std::make_unique<bootnote_test::logd_fake>(bootnote_test::logd_mode::normal));
    }
    if (with_pmsg) pieces.push_back(std::make_unique<bootnote_test::pmsg>());
    std::vector<bootnote_test::world_piece*> world;
    for (const auto& piece : pieces) world.push_back(piece.get());
    bootnote_test::sandbox_result run =
        bootnote_test::run_in_sandbox(world, std::vector<std::string>(argv + first, argv + argc), cwd);
    printf("--- standard output ---\n%s", run.out.c_str());
    if (!run.err.empty()) printf("--- standard error ---\n%s", run.err.c_str());
    printf("--- log (%s), as logcat shows it ---\n", kernel ? "kernel logger" : "logd");
    for (const bootnote_test::log_record& record : run.log) printf("%s", record.threadtime.c_str());
    if (with_pmsg) printf("--- /dev/pmsg0: %zu records ---\n", run.pmsg.size());
    for (const bootnote_test::pmsg_record& record : run.pmsg)
      printf("%c uid %u pid %u: %s", record.magic, record.uid, record.pid, record.entry.message.c_str());
    printf("--- exit status %d ---\n", run.exit_status);
    return run.exit_status;
  } catch (const std::exception& e) {
    fprintf(stderr, "sandbox_logcat: %s\n", e.what());
    return 2;
  }
}
