#include "sandbox.h"

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "platform_log.h"

namespace bootnote_test {

namespace {

using clock = std::chrono::steady_clock;

// The clock the log writer stamps entries with; time() may lag it by a tick.
long long real_seconds() {
  timespec now = {};
  clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec;
}

std::vector<std::string> sandbox_command(const std::vector<world_piece*>& pieces,
                                         const std::vector<std::string>& argv, const std::string& workdir,
                                         stdout_mode out) {
  sandbox_setup setup;
  for (world_piece* piece : pieces) piece->set_up(setup);
  std::vector<std::string> command = {"bwrap", "--die-with-parent", "--bind", "/", "/", "--dev", "/dev"};
  command.insert(command.end(), setup.bwrap_args.begin(), setup.bwrap_args.end());
  command.insert(command.end(), {"--chdir", workdir, "--"});
  // Closed inside the sandbox: bwrap itself would reuse a closed descriptor 1.
  if (out == stdout_mode::closed) setup.prelude.push_back("exec >&-");
  if (!setup.prelude.empty()) {
    std::string script;
    for (const std::string& line : setup.prelude) script += line + "\n";
    command.insert(command.end(), {"sh", "-c", script + "exec \"$@\"", "sh"});
  }
  command.insert(command.end(), argv.begin(), argv.end());
  return command;
}

// Reads the program's pipes to their end without letting either fill up,
// while every piece follows the run. Returns false when the deadline comes
// first.
bool pump(child& c, const std::vector<world_piece*>& pieces, sandbox_result& result, run_state& run,
          clock::time_point deadline) {
  std::vector<pollfd> fds = {{c.out_fd, POLLIN, 0}, {c.err_fd, POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int* open_fds[2] = {&c.out_fd, &c.err_fd};
  int open_count = (c.out_fd >= 0) + (c.err_fd >= 0);
  while (open_count > 0) {
    if (clock::now() >= deadline) return false;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count() + 1;
    int timeout = static_cast<int>(left);
    fds.resize(2);
    for (world_piece* piece : pieces) {
      if (piece->wake_after_ms() >= 0) timeout = std::min(timeout, piece->wake_after_ms());
      if (piece->wake_fd() >= 0) fds.push_back({piece->wake_fd(), POLLIN, 0});
    }
    if (poll(fds.data(), fds.size(), timeout) < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error(std::string("poll: ") + strerror(errno));
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      read_some(*open_fds[i], *sinks[i]);
      fds[i].fd = *open_fds[i];
      open_count -= fds[i].fd < 0;
    }
    for (world_piece* piece : pieces) piece->follow(run);
  }
  return true;
}

}  // namespace

sandbox_result run_in_sandbox(const std::vector<world_piece*>& pieces, const std::vector<std::string>& argv,
                              const std::string& workdir, stdout_mode out, int time_limit_seconds) {
  std::vector<std::string> command = sandbox_command(pieces, argv, workdir, out);
  sandbox_result result;
  run_state run;
  clock::time_point start = clock::now();
  result.started = real_seconds();
  child c = spawn(command, out == stdout_mode::closed ? stdout_mode::pipe : out);
  // On any way out but the run's own end, nothing of it may stay behind.
  auto stop_run = [&c] {
    kill(-c.pid, SIGKILL);
    for (int fd : {c.out_fd, c.err_fd})
      if (fd >= 0) close(fd);
    wait_for(c.pid);
  };
  bool ended;
  try {
    ended = pump(c, pieces, result, run, start + std::chrono::seconds(time_limit_seconds));
  } catch (...) {
    stop_run();
    throw;
  }
  if (!ended) {
    stop_run();
    throw std::runtime_error("killed after " + std::to_string(time_limit_seconds) +
                             " s, still running (a hang?): " + argv[0]);
  }
  result.exit_status = wait_for(c.pid);
  result.ended = real_seconds();
  result.seconds = std::chrono::duration<double>(clock::now() - start).count();
  for (world_piece* piece : pieces) piece->collect(run);
  for (log_record& record : run.log) {
    std::string error;
    if (!parse_with_platform(record, error)) throw std::runtime_error("log entry \"" + record.message + "\": " + error);
  }
  result.log = std::move(run.log);
  result.pmsg = std::move(run.pmsg);
  return result;
}

}  // namespace bootnote_test
