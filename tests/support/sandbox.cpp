#include "sandbox.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "platform_log.h"

extern char** environ;

namespace bootnote_test {

const char* transport_name(log_transport transport) {
  switch (transport) {
    case log_transport::logd: return "logd";
    case log_transport::kernel_logger: return "kernel_logger";
    case log_transport::logd_full: return "logd_full";
    case log_transport::logd_late: return "logd_late";
    case log_transport::logd_and_kernel_logger: return "logd_and_kernel_logger";
    case log_transport::logd_refusing_and_kernel_logger: return "logd_refusing_and_kernel_logger";
    case log_transport::kernel_logger_unopenable: return "kernel_logger_unopenable";
    case log_transport::none: return "no_log";
  }
  return "?";
}

namespace {

using clock = std::chrono::steady_clock;

int milliseconds_until(clock::time_point when) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(when - clock::now()).count();
  return static_cast<int>(std::max<long long>(left, 0) + 1);
}

// Waits (at most 2 s) until process `pid` is blocked in write(2), as /proc
// shows: closing the FIFO before its open would leave that open waiting for
// a reader for ever.
void wait_until_writing(uint32_t pid) {
  std::string syscall_file = "/proc/" + std::to_string(pid) + "/syscall";
  std::string in_write = std::to_string(SYS_write) + " ";
  for (int i = 0; i < 2000; ++i) {
    std::ifstream current(syscall_file);
    std::string state;
    std::getline(current, state);
    if (state.rfind(in_write, 0) == 0) return;
    usleep(1000);
  }
}

// Holds `fifo` open for reading and writing with its buffer full, so that a
// writer's open succeeds and its write waits; returns the descriptor. Closing
// it leaves no reader: the waiting write then fails with EPIPE.
int hold_full_fifo(const std::string& fifo) {
  int fd = open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("open " + fifo + ": " + strerror(errno));
  static const char kFill[4096] = {};
  while (write(fd, kFill, sizeof kFill) > 0) {
  }
  return fd;
}

// Reads both pipes to their end without letting either fill up, and
// receives log entries meanwhile, as logd would. A late sink is read only
// from 20 ms after a client has connected to it. Returns false when the
// deadline comes first.
bool collect_output(int out_fd, int err_fd, std::string& out, std::string& err, logd_sink* sink, bool late,
                    int& held_fifo, std::vector<log_record>& log, clock::time_point deadline) {
  pollfd fds[3] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}, {-1, POLLIN, 0}};
  std::string* sinks[2] = {&out, &err};
  int open_count = (out_fd >= 0) + (err_fd >= 0);
  const clock::time_point never = clock::time_point::max();
  clock::time_point read_log_from = late ? never : clock::now();
  int references_before = late ? sink->references() : 0;
  while (open_count > 0) {
    if (clock::now() >= deadline) return false;
    int timeout = milliseconds_until(deadline);
    if (sink && late && read_log_from == never) {
      if (sink->references() > references_before) read_log_from = clock::now() + std::chrono::milliseconds(20);
      timeout = 1;  // watching for the client
    }
    bool reading = sink && clock::now() >= read_log_from;
    if (sink && !reading && read_log_from != never) timeout = std::min(timeout, milliseconds_until(read_log_from));
    fds[2].fd = reading ? sink->fd() : -1;
    int ready = poll(fds, 3, timeout);
    if (ready < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error(std::string("poll: ") + strerror(errno));
    }
    if (fds[2].fd >= 0 && fds[2].revents != 0) {
      std::vector<log_record> received = sink->drain();
      log.insert(log.end(), received.begin(), received.end());
      if (held_fifo >= 0 && !log.empty()) {
        sink->restart();
        wait_until_writing(log.front().pid);
        close(held_fifo);
        held_fifo = -1;
      }
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
  return true;
}

int wait_for(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error(std::string("waitpid: ") + strerror(errno));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Starts `argv` with stdin from /dev/null, stderr on a new pipe and stdout
// as `out` asks (`out_fd` is -1 unless it is a pipe we read). SIGPIPE is put
// back to its default, whatever the test runner did with it.
pid_t spawn(const std::vector<std::string>& argv, stdout_mode out, int& out_fd, int& err_fd) {
  int out_pipe[2] = {-1, -1}, err_pipe[2];
  if (pipe2(err_pipe, O_CLOEXEC) != 0 ||
      ((out == stdout_mode::pipe || out == stdout_mode::reader_gone) && pipe2(out_pipe, O_CLOEXEC) != 0))
    throw std::runtime_error(std::string("pipe: ") + strerror(errno));
  if (out == stdout_mode::reader_gone) {
    close(out_pipe[0]);
    out_pipe[0] = -1;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (out == stdout_mode::dev_full) {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/full", O_WRONLY, 0);
  } else if (out_pipe[1] >= 0) {
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  }
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  // Its own process group, so that a hung run can be killed whole.
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int error = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (out_pipe[1] >= 0) close(out_pipe[1]);
  close(err_pipe[1]);
  if (error != 0) throw std::runtime_error("spawn " + argv[0] + ": " + strerror(error));
  out_fd = out_pipe[0];
  err_fd = err_pipe[0];
  return pid;
}

std::string run_and_read(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run " + command);
  std::string out;
  char buffer[256];
  while (fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
  if (pclose(pipe) != 0) throw std::runtime_error("failed: " + command);
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

}  // namespace

sandbox_result run_in_sandbox(const sandbox_options& options,
                              const std::vector<std::string>& argv,
                              const std::string& workdir) {
  temp_dir dev_dir;
  chmod(dev_dir.path().c_str(), 0755);
  std::vector<std::string> command = {"bwrap", "--die-with-parent", "--bind", "/", "/", "--dev", "/dev"};
  std::unique_ptr<logd_sink> sink;
  std::string kernel_log = dev_dir.path() + "/main";
  sandbox_result result;
  const log_transport transport = options.transport;
  const bool has_kernel_log = transport == log_transport::kernel_logger ||
                              transport == log_transport::logd_and_kernel_logger ||
                              transport == log_transport::logd_refusing_and_kernel_logger;
  const bool has_logd = transport != log_transport::none && transport != log_transport::kernel_logger &&
                        transport != log_transport::kernel_logger_unopenable;
  if (has_kernel_log) {
    std::ofstream{kernel_log};
    chmod(kernel_log.c_str(), 0666);
  } else if (transport == log_transport::kernel_logger_unopenable) {
    mkdir(kernel_log.c_str(), 0755);
  }
  if (has_kernel_log || transport == log_transport::kernel_logger_unopenable)
    command.insert(command.end(), {"--bind", dev_dir.path(), "/dev/log"});
  if (has_logd) {
    sink = std::make_unique<logd_sink>(dev_dir.path() + "/logdw");
    if (transport == log_transport::logd_full || transport == log_transport::logd_late) sink->fill();
    if (transport == log_transport::logd_refusing_and_kernel_logger) sink->stop();
    command.insert(command.end(), {"--bind", dev_dir.path(), "/dev/socket"});
  }
  std::string pmsg = dev_dir.path() + "/pmsg0";
  if (options.pmsg) {
    std::ofstream{pmsg};
    command.insert(command.end(), {"--bind", pmsg, "/dev/pmsg0"});
  }
  command.insert(command.end(), options.bwrap_args.begin(), options.bwrap_args.end());
  command.insert(command.end(), {"--chdir", workdir, "--"});
  std::string prelude = options.prelude;
  if (options.out == stdout_mode::closed) prelude += "\nexec >&-";
  if (!prelude.empty()) command.insert(command.end(), {"sh", "-c", prelude + "\nexec \"$@\"", "sh"});
  command.insert(command.end(), argv.begin(), argv.end());

  clock::time_point start = clock::now();
  clock::time_point deadline = start + std::chrono::seconds(options.time_limit_seconds);
  int held_fifo = options.release_fifo.empty() ? -1 : hold_full_fifo(options.release_fifo);
  int out_fd = -1, err_fd = -1;
  pid_t pid = spawn(command, options.out, out_fd, err_fd);
  std::vector<log_record> received;
  // The full logd never reads; the refusing one cannot.
  bool read_log = transport != log_transport::logd_full && transport != log_transport::logd_refusing_and_kernel_logger;
  bool late = transport == log_transport::logd_late;
  if (!collect_output(out_fd, err_fd, result.out, result.err, read_log ? sink.get() : nullptr, late, held_fifo,
                      received, deadline)) {
    kill(-pid, SIGKILL);
    if (held_fifo >= 0) close(held_fifo);
    if (out_fd >= 0) close(out_fd);
    if (err_fd >= 0) close(err_fd);
    wait_for(pid);
    throw std::runtime_error("killed after " + std::to_string(options.time_limit_seconds) +
                             " s, still running (a hang?): " + argv[0]);
  }
  if (held_fifo >= 0) close(held_fifo);
  result.exit_status = wait_for(pid);
  result.seconds = std::chrono::duration<double>(clock::now() - start).count();

  if (sink) {
    std::vector<log_record> rest = sink->drain();
    received.insert(received.end(), rest.begin(), rest.end());
    // The entries fill() queued are not the command's.
    for (log_record& record : received)
      if (record.tag != "filler") result.log.push_back(record);
  }
  if (has_kernel_log) {
    std::string error;
    if (!parse_kernel_log(read_file(kernel_log), result.log, error))
      throw std::runtime_error("malformed kernel log: " + error);
  }
  for (log_record& record : result.log) {
    std::string error;
    if (!parse_with_platform(record, error)) throw std::runtime_error("log entry \"" + record.message + "\": " + error);
  }
  if (options.pmsg) {
    std::string error;
    if (!parse_pmsg(read_file(pmsg), result.pmsg, error)) throw std::runtime_error("malformed pmsg: " + error);
  }
  return result;
}

loop_device::loop_device(const std::string& image, bool read_only) {
  path_ = run_and_read(std::string("losetup --find --show ") + (read_only ? "--read-only " : "") + "'" + image + "'");
}

loop_device::~loop_device() {
  std::string detach = "losetup --detach '" + path_ + "'";
  if (system(detach.c_str()) != 0) fprintf(stderr, "could not detach %s\n", path_.c_str());
}

}  // namespace bootnote_test
