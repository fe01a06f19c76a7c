// A piece of the world around one sandboxed run: a fake logd, a kernel
// logger, pstore, a device. A case composes the pieces it needs; the sandbox
// sets each one up, lets each follow the run as it goes, and collects from
// each once it has ended.
#ifndef BOOTNOTE_TESTS_WORLD_H_
#define BOOTNOTE_TESTS_WORLD_H_

#include <string>
#include <vector>

#include "log_decode.h"

namespace bootnote_test {

// What the pieces add to the sandbox before the run.
struct sandbox_setup {
  std::vector<std::string> bwrap_args;  // mounts, applied after the private /dev
  std::vector<std::string> prelude;     // shell commands run in the sandbox before the program
};

// The run as the pieces see it: entries arrive in `log` while it goes.
struct run_state {
  std::vector<log_record> log;   // logd's entries as they came, then the kernel logger's
  std::vector<pmsg_record> pmsg;  // what reached /dev/pmsg0
};

class world_piece {
 public:
  virtual ~world_piece() = default;
  // Adds the piece's mounts (and, rarely, shell commands) to the sandbox.
  virtual void set_up(sandbox_setup& setup) = 0;
  // A descriptor whose readiness must wake the sandbox's loop, or -1.
  virtual int wake_fd() const { return -1; }
  // How soon the piece wants follow() again, in milliseconds; -1: only when
  // its descriptor is ready.
  virtual int wake_after_ms() const { return -1; }
  // Called on every turn of the loop while the run goes, in the order the
  // pieces were given, so a later piece sees what an earlier one received.
  virtual void follow(run_state&) {}
  // Called once after the run has ended.
  virtual void collect(run_state&) {}
};

}  // namespace bootnote_test

#endif  // BOOTNOTE_TESTS_WORLD_H_
