// A stand-in for logd: a datagram socket that receives entries with their
// senders' credentials, as logd does, and behaves as a case asks.
#ifndef BOOTNOTE_TESTS_LOGD_FAKE_H_
#define BOOTNOTE_TESTS_LOGD_FAKE_H_

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "files.h"
#include "world.h"

namespace bootnote_test {

enum class logd_mode {
  normal,       // reads every entry as it comes
  queue_full,   // its queue filled before the run and never read
  late_reader,  // its queue full; reads from 20 ms after a client connects
  refusing,     // a socket file nobody is bound to: every connect is refused
  restarting,   // restarts right after the first entry, as logd does when it
                // dies: the old socket is refused, a new one takes its place
  vanishing,    // stops right after the first entry and its socket file goes
};

class logd_fake : public world_piece {
 public:
  // Binds at `socket_path`, or, when it is empty, at "logdw" in a directory
  // of its own that set_up() binds at /dev/socket. Writable by every user,
  // as on a device. Throws std::runtime_error when it cannot.
  explicit logd_fake(logd_mode mode, const std::string& socket_path = "");
  ~logd_fake() override;

  // Every entry received so far but the queue's fillers, decoded; a
  // malformed one throws.
  std::vector<log_record> drain();

  void set_up(sandbox_setup& setup) override;
  int wake_fd() const override;
  int wake_after_ms() const override;
  void follow(run_state& run) override;
  void collect(run_state& run) override;

 private:
  void bind_socket();
  void stop();
  void fill();
  int references() const;
  bool reading();

  logd_mode mode_;
  std::unique_ptr<temp_dir> dir_;
  std::string path_;
  int fd_ = -1;
  bool first_entry_seen_ = false;
  int references_before_ = 0;
  std::chrono::steady_clock::time_point read_from_;
};

}  // namespace bootnote_test

#endif  // BOOTNOTE_TESTS_LOGD_FAKE_H_
