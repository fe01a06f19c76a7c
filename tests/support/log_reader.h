// Test-side readers of the two device log transports.
#ifndef BOOTNOTE_TESTS_LOG_READER_H_
#define BOOTNOTE_TESTS_LOG_READER_H_

#include <stdint.h>

#include <string>
#include <vector>

namespace bootnote_test {

// One log entry as a log reader sees it.
struct log_record {
  int priority = -1;
  std::string tag;
  std::string message;
  // logd only: the header's fields, and the sender's credentials.
  int log_id = -1;
  uint32_t thread_id = 0;
  uint32_t seconds = 0;
  uint32_t nanoseconds = 0;
  uint32_t pid = 0;
  uint32_t uid = 0;
  std::string payload;     // the bytes after the header, as received
  std::string threadtime;  // the line logcat prints for it, once parsed by the platform
};

// One record of pstore's copy of the log (/dev/pmsg0).
struct pmsg_record {
  int magic = -1;
  uint32_t length = 0;  // as its header says
  uint32_t uid = 0;
  uint32_t pid = 0;
  size_t size = 0;      // as found
  log_record entry;     // the logd header and payload that follow
};

// Decodes one logd datagram: 11-byte header, priority, tag NUL, message NUL.
// Returns false, naming the fault in `error`, when it is not well formed.
bool parse_logd_datagram(const std::string& datagram, log_record& record,
                         std::string& error);

// Decodes pstore's records written one after another: a 7-byte header
// ('l', u16 length, u16 uid, u16 pid), then a logd datagram.
bool parse_pmsg(const std::string& bytes, std::vector<pmsg_record>& records, std::string& error);

// Decodes the kernel logger's entries written one after another: priority,
// tag NUL, message NUL. Returns false on a truncated entry.
bool parse_kernel_log(const std::string& bytes, std::vector<log_record>& records,
                      std::string& error);

// A datagram socket bound at a path, standing in for logd. It receives its
// senders' credentials, as logd does.
class logd_sink {
 public:
  // Binds at `path`, writable by every user as on a device; throws
  // std::runtime_error when it cannot.
  explicit logd_sink(const std::string& path);
  ~logd_sink();
  logd_sink(const logd_sink&) = delete;
  logd_sink& operator=(const logd_sink&) = delete;

  // Every datagram received so far, decoded; a malformed one throws.
  std::vector<log_record> drain();

  // Dies and starts again at the same path, as logd does when it restarts:
  // what was queued is lost, and clients connected to the old socket are
  // refused.
  void restart();

  // Leaves the socket file with nobody bound to it: connecting is refused.
  void stop();

  // Sends well-formed entries (tag "filler") until the queue is full, so
  // that writers get EAGAIN.
  void fill();

  // How many references the kernel holds to the socket: one more for each
  // client connected to it (from /proc/net/unix); -1 when not listed.
  int references() const;

  int fd() const { return fd_; }

 private:
  std::string path_;
  int fd_ = -1;
};

// Reads a whole file; throws when it cannot.
std::string read_file(const std::string& path);

}  // namespace bootnote_test

#endif  // BOOTNOTE_TESTS_LOG_READER_H_
