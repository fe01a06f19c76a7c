#include "sandbox.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

extern char** environ;

namespace bootnote_test {

const char* transport_name(log_transport transport) {
  switch (transport) {
    case log_transport::logd: return "logd";
    case log_transport::kernel_logger: return "kernel_logger";
    case log_transport::none: return "no_log";
  }
  return "?";
}

temp_dir::temp_dir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "bootnote-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error(std::string("mkdtemp: ") + strerror(errno));
  path_ = pattern;
}

temp_dir::~temp_dir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

namespace {

// Reads both pipes to their end without letting either fill up.
void collect_output(int out_fd, int err_fd, std::string& out, std::string& err) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* sinks[2] = {&out, &err};
  int open_count = 2;
  while (open_count > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error(std::string("poll: ") + strerror(errno));
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
}

int wait_for(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error(std::string("waitpid: ") + strerror(errno));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Starts `argv` with stdin from /dev/null and stdout/stderr on new pipes.
pid_t spawn(const std::vector<std::string>& argv, int& out_fd, int& err_fd) {
  int out_pipe[2], err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0)
    throw std::runtime_error(std::string("pipe: ") + strerror(errno));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (error != 0) throw std::runtime_error("spawn " + argv[0] + ": " + strerror(error));
  out_fd = out_pipe[0];
  err_fd = err_pipe[0];
  return pid;
}

}  // namespace

sandbox_result run_in_sandbox(log_transport transport,
                              const std::vector<std::string>& argv,
                              const std::string& workdir) {
  temp_dir dev_dir;
  std::vector<std::string> command = {"bwrap", "--bind", "/", "/", "--dev", "/dev"};
  std::unique_ptr<logd_sink> sink;
  std::string kernel_log = dev_dir.path() + "/main";
  if (transport == log_transport::logd) {
    sink = std::make_unique<logd_sink>(dev_dir.path() + "/logdw");
    command.insert(command.end(), {"--bind", dev_dir.path(), "/dev/socket"});
  } else if (transport == log_transport::kernel_logger) {
    std::ofstream{kernel_log};
    command.insert(command.end(), {"--bind", dev_dir.path(), "/dev/log"});
  }
  command.insert(command.end(), {"--chdir", workdir, "--"});
  command.insert(command.end(), argv.begin(), argv.end());

  sandbox_result result;
  int out_fd = -1, err_fd = -1;
  pid_t pid = spawn(command, out_fd, err_fd);
  collect_output(out_fd, err_fd, result.out, result.err);
  result.exit_status = wait_for(pid);

  if (sink) result.log = sink->drain();
  if (transport == log_transport::kernel_logger) {
    std::string error;
    if (!parse_kernel_log(read_file(kernel_log), result.log, error))
      throw std::runtime_error("malformed kernel log: " + error);
  }
  return result;
}

}  // namespace bootnote_test
