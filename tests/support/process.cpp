#include "process.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

extern char** environ;

namespace bootnote_test {

child spawn(const std::vector<std::string>& argv, stdout_mode out) {
  if (out == stdout_mode::closed) throw std::invalid_argument("spawn cannot close standard output");
  int out_pipe[2] = {-1, -1}, err_pipe[2];
  bool out_is_pipe = out == stdout_mode::pipe || out == stdout_mode::reader_gone;
  if (pipe2(err_pipe, O_CLOEXEC) != 0 || (out_is_pipe && pipe2(out_pipe, O_CLOEXEC) != 0))
    throw std::runtime_error(std::string("pipe: ") + strerror(errno));
  if (out == stdout_mode::reader_gone) {
    close(out_pipe[0]);
    out_pipe[0] = -1;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (out == stdout_mode::dev_full) posix_spawn_file_actions_addopen(&actions, 1, "/dev/full", O_WRONLY, 0);
  if (out_is_pipe) posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  child started;
  int error = posix_spawnp(&started.pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (out_pipe[1] >= 0) close(out_pipe[1]);
  close(err_pipe[1]);
  if (error != 0) {
    if (out_pipe[0] >= 0) close(out_pipe[0]);
    close(err_pipe[0]);
    throw std::runtime_error("cannot start " + argv[0] + ": " + strerror(error));
  }
  started.out_fd = out_pipe[0];
  started.err_fd = err_pipe[0];
  return started;
}

int wait_for(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error(std::string("waitpid: ") + strerror(errno));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void read_some(int& fd, std::string& sink) {
  char buffer[4096];
  ssize_t n = read(fd, buffer, sizeof buffer);
  if (n > 0) {
    sink.append(buffer, static_cast<size_t>(n));
  } else if (n == 0 || errno != EINTR) {
    close(fd);
    fd = -1;
  }
}

std::string output_of(const std::vector<std::string>& argv) {
  child c = spawn(argv, stdout_mode::pipe);
  std::string out, err;
  // Such programs print little: standard error cannot fill its pipe while
  // standard output is read.
  while (c.out_fd >= 0) read_some(c.out_fd, out);
  while (c.err_fd >= 0) read_some(c.err_fd, err);
  int status = wait_for(c.pid);
  if (status != 0) throw std::runtime_error(argv[0] + " failed (" + std::to_string(status) + "): " + err);
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

}  // namespace bootnote_test
