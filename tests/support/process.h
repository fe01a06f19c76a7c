// The one way the tests start a program: posix_spawn, no shell, no quoting.
#ifndef BOOTNOTE_TESTS_PROCESS_H_
#define BOOTNOTE_TESTS_PROCESS_H_

#include <sys/types.h>

#include <string>
#include <vector>

namespace bootnote_test {

// Where a started program's standard output goes.
enum class stdout_mode {
  pipe,         // a pipe the caller reads
  closed,       // no descriptor 1 at all (only the sandbox can do it: see sandbox.h)
  dev_full,     // /dev/full: every write fails with ENOSPC
  reader_gone,  // a pipe whose read end is already closed
};

// A started program: its process id and the read ends of its output pipes
// (-1 where there is none).
struct child {
  pid_t pid = -1;
  int out_fd = -1;
  int err_fd = -1;
};

// Starts `argv` (argv[0] looked up in PATH) with standard input from
// /dev/null, standard error on a pipe, standard output as `out` says,
// SIGPIPE at its default and in a process group of its own, so that it can
// be killed whole. Throws std::runtime_error when it cannot be started, and
// std::invalid_argument for stdout_mode::closed: bwrap would put one of its
// own descriptors there.
child spawn(const std::vector<std::string>& argv, stdout_mode out);

// Appends what one read(2) of `fd` gives to `sink`. At the end of the data,
// or on an error other than EINTR, closes `fd` and sets it to -1.
void read_some(int& fd, std::string& sink);

// Waits for `pid`; returns its exit status, or 128 + the signal that ended it.
int wait_for(pid_t pid);

// Runs `argv`, a short helper program (losetup, say), to its end and
// returns its standard output without trailing line feeds; throws, with
// what it printed on standard error, unless it exits with 0.
std::string output_of(const std::vector<std::string>& argv);

}  // namespace bootnote_test

#endif  // BOOTNOTE_TESTS_PROCESS_H_
