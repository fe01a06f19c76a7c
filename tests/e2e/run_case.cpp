// The one test body every row runs: build the case's world, run the binary
// in the sandbox amid it, check everything the row says and what holds for
// every run (exit status 0, nothing on standard error, nothing lost).
#include "run_case.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "case_world.h"
#include "command_line.h"
#include "expect.h"
#include "files.h"
#include "sandbox.h"
#include "test_main.h"

namespace bootnote_test {

namespace {

bool needs_root(const e2e_case& c) { return c.as_nobody || is_block_device(c.world); }

// The command line of the run: under qemu -strace when the case counts
// calls; as uid 65534, from a copy it can reach, when it must have no rights.
std::vector<std::string> run_argv(const e2e_case& c, const std::string& workdir) {
  std::vector<std::string> argv = tool_argv(c.operands);
  if (!c.calls.empty()) {
    argv = {arguments().build->qemu, "-strace", arguments().binary};
    argv.insert(argv.end(), c.operands.begin(), c.operands.end());
  }
  if (c.as_nobody) {
    // The build tree may lie where uid 65534 cannot reach (under /root).
    std::string copy = workdir + "/bootnote";
    std::filesystem::copy_file(arguments().binary, copy);
    std::replace(argv.begin(), argv.end(), arguments().binary, copy);
    argv.insert(argv.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  }
  return argv;
}

// The names of the calls qemu -strace listed, in order.
std::vector<std::string> calls_in(const std::string& strace) {
  static const std::regex kCall("^[0-9]+ ([a-z_0-9]+)\\(");
  std::vector<std::string> calls;
  std::smatch match;
  size_t at = 0;
  for (size_t end; (end = strace.find('\n', at)) != std::string::npos; at = end + 1) {
    std::string line = strace.substr(at, end - at);
    if (std::regex_search(line, match, kCall)) calls.push_back(match[1]);
  }
  return calls;
}

}  // namespace

void run_case(const e2e_case& c, const log_world& log) {
  BOOTNOTE_REQUIRE(!needs_root(c) || geteuid() == 0, "needs root: loop devices, FUSE and setpriv");
  temp_dir work;
  chmod(work.path().c_str(), 0755);  // so that only the target's own mode can refuse
  case_world world(c, log, work.path());
  sandbox_result run = run_in_sandbox(world.pieces(), run_argv(c, work.path()), work.path(), c.out);

  EXPECT_EQ(run.exit_status, 0);
  // A run takes a tenth of a second, even under qemu: one that takes
  // seconds waits on something (a full logd queue waits 100 ms at most).
  EXPECT_LT(run.seconds, 5.0) << "a slow run";
  if (c.calls.empty()) {
    EXPECT_EQ(run.err, "");
  } else {
    EXPECT_EQ(calls_in(run.err), c.calls) << "system calls, as qemu -strace lists them:\n" << run.err;
  }
  if (c.out == stdout_mode::pipe) {
    EXPECT_EQ(run.out, c.prints);
  }
  expect_contents(c.after, world, work.path());
  if (world.device()) {
    EXPECT_EQ(world.device()->requests(), c.device_asked) << "requests the device saw";
  }
  if (log.pmsg) expect_pmsg(run, c.logged);
  bool logs_somewhere = log.logd || log.kernel_logger;
  expect_log(run.log, logs_somewhere ? c.logged : std::vector<entry>{});
  for (const log_record& record : run.log) {
    if (log.logd) {
      EXPECT_EQ(record.log_id, 0) << "went to the kernel logger, not to logd: " << record.message;
    }
    // logd's header holds real time (what logcat shows), not time since boot.
    if (record.log_id == 0) {
      EXPECT_GE(record.seconds, run.started) << "time stamp of: " << record.message;
      EXPECT_LE(record.seconds, run.ended) << "time stamp of: " << record.message;
    }
  }
}

}  // namespace bootnote_test
