// Runs a command the way it runs on a device: inside a bwrap sandbox with a
// private /dev in which the test owns the log transport.
#ifndef BOOTNOTE_TESTS_SANDBOX_H_
#define BOOTNOTE_TESTS_SANDBOX_H_

#include <string>
#include <vector>

#include "log_reader.h"
#include "temp_dir.h"

namespace bootnote_test {

enum class log_transport {
  logd,                      // a datagram socket at /dev/socket/logdw
  logd_full,                 // the same, its queue filled and never read
  logd_late,                 // its queue full; read from 20 ms after a client connects
  logd_and_kernel_logger,    // both: /dev/socket/logdw and /dev/log/main
  logd_refusing_and_kernel_logger,  // a logdw nobody is bound to, and /dev/log/main
  kernel_logger,             // a regular file at /dev/log/main
  kernel_logger_unopenable,  // /dev/log/main is a directory
  none,                      // neither exists
};

// Where the command's standard output goes.
enum class stdout_mode {
  pipe,         // a pipe the sandbox reads: sandbox_result::out
  closed,       // no descriptor 1 at all
  dev_full,     // /dev/full: every write fails with ENOSPC
  reader_gone,  // a pipe whose read end is already closed
};

struct sandbox_options {
  log_transport transport = log_transport::logd;
  stdout_mode out = stdout_mode::pipe;
  // Shell commands run in the sandbox before the command is exec'd.
  std::string prelude;
  // More bwrap arguments (devices, mounts), applied after the private /dev.
  std::vector<std::string> bwrap_args;
  // After this long the sandbox is killed and the run throws.
  int time_limit_seconds = 10;
  // A regular file at /dev/pmsg0, standing in for pstore.
  bool pmsg = false;
  // When set, a FIFO: the sandbox holds it with its buffer full, so that a
  // writer's open succeeds and its write waits; after the first log entry
  // arrives, logd restarts, then the FIFO is let go and the write fails.
  std::string release_fifo;
};

const char* transport_name(log_transport transport);

struct sandbox_result {
  std::string out;                // everything written to standard output
  std::string err;                // everything written to standard error
  int exit_status = -1;           // exit status, or 128 + signal number
  std::vector<log_record> log;    // entries the command logged: logd's, then the kernel logger's,
                                  // each read by the platform's parser
  std::vector<pmsg_record> pmsg;  // what reached /dev/pmsg0
  double seconds = 0;             // wall time of the whole run
};

// Runs `argv` (argv[0] is the program to execute) inside the sandbox with
// `workdir` as working directory, no standard input and SIGPIPE at its
// default. Throws std::runtime_error when the sandbox cannot be set up, or
// when the run outlives its time limit (the sandbox is killed then).
sandbox_result run_in_sandbox(const sandbox_options& options,
                              const std::vector<std::string>& argv,
                              const std::string& workdir);

// A loop block device over an image file, detached on destruction.
class loop_device {
 public:
  // Attaches `image` (read-only if asked); throws when losetup fails.
  loop_device(const std::string& image, bool read_only);
  ~loop_device();
  loop_device(const loop_device&) = delete;
  loop_device& operator=(const loop_device&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace bootnote_test

#endif  // BOOTNOTE_TESTS_SANDBOX_H_
