// Runs a command the way it runs on a device: inside a bwrap sandbox with a
// private /dev in which the test owns the log transport.
#ifndef BOOTNOTE_TESTS_SANDBOX_H_
#define BOOTNOTE_TESTS_SANDBOX_H_

#include <string>
#include <vector>

#include "log_reader.h"

namespace bootnote_test {

enum class log_transport {
  logd,           // a datagram socket at /dev/socket/logdw
  kernel_logger,  // a regular file at /dev/log/main
  none,           // neither exists
};

const char* transport_name(log_transport transport);

// A temporary directory, removed with everything in it on destruction.
class temp_dir {
 public:
  temp_dir();
  ~temp_dir();
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct sandbox_result {
  std::string out;                // everything written to standard output
  std::string err;                // everything written to standard error
  int exit_status = -1;           // exit status, or 128 + signal number
  std::vector<log_record> log;    // entries that reached the log, in order
};

// Runs `argv` (argv[0] is the program to execute) inside the sandbox with
// `workdir` as working directory and no standard input. Throws
// std::runtime_error when the sandbox cannot be set up.
sandbox_result run_in_sandbox(log_transport transport,
                              const std::vector<std::string>& argv,
                              const std::string& workdir);

}  // namespace bootnote_test

#endif  // BOOTNOTE_TESTS_SANDBOX_H_
