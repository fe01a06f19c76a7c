// Runs a command the way it runs on a device: inside a bwrap sandbox with a
// private /dev that holds the world's pieces (log transports, devices).
#ifndef BOOTNOTE_TESTS_SANDBOX_H_
#define BOOTNOTE_TESTS_SANDBOX_H_

#include <string>
#include <vector>

#include "log_decode.h"
#include "process.h"
#include "world.h"

namespace bootnote_test {

struct sandbox_result {
  std::string out;                // everything written to standard output
  std::string err;                // everything written to standard error
  int exit_status = -1;           // exit status, or 128 + signal number
  std::vector<log_record> log;    // the entries logged, each read by the platform's parser
  std::vector<pmsg_record> pmsg;  // what reached /dev/pmsg0
  double seconds = 0;             // wall time of the whole run
  long long started = 0;          // real time, in seconds since 1970, at the start
  long long ended = 0;            // and at the end
};

// Runs `argv` (argv[0] is the program) in the sandbox with `workdir` as
// working directory, no standard input, standard output as `out` says and
// SIGPIPE at its default, amid `pieces`. Throws std::runtime_error when the
// sandbox cannot be set up or a piece finds something malformed, and when
// the run outlives `time_limit_seconds` (its process group is killed then).
sandbox_result run_in_sandbox(const std::vector<world_piece*>& pieces, const std::vector<std::string>& argv,
                              const std::string& workdir, stdout_mode out = stdout_mode::pipe,
                              int time_limit_seconds = 10);

}  // namespace bootnote_test

#endif  // BOOTNOTE_TESTS_SANDBOX_H_
