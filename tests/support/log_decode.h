// Decoders of the bytes the log writer sends: logd's datagrams, the kernel
// logger's entries and pstore's copies.
#ifndef BOOTNOTE_TESTS_LOG_DECODE_H_
#define BOOTNOTE_TESTS_LOG_DECODE_H_

#include <stdint.h>
#include <sys/uio.h>

#include <string>
#include <vector>

namespace bootnote_test {

// One log entry as a log reader sees it.
struct log_record {
  int priority = -1;
  std::string tag;
  std::string message;
  // logd only: the header's fields (log_id stays -1 for the kernel
  // logger's entries), and the sender's credentials.
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
bool parse_logd_datagram(const std::string& datagram, log_record& record, std::string& error);

// Decodes pstore's records written one after another: a 7-byte header
// ('l', u16 length, u16 uid, u16 pid), then a logd datagram.
bool parse_pmsg(const std::string& bytes, std::vector<pmsg_record>& records, std::string& error);

// Decodes the kernel logger's entries written one after another: priority,
// tag NUL, message NUL. Returns false on a truncated entry.
bool parse_kernel_log(const std::string& bytes, std::vector<log_record>& records, std::string& error);

// The bytes one writev of `parts` would send.
std::string gather(const iovec* parts, int count);

}  // namespace bootnote_test

#endif  // BOOTNOTE_TESTS_LOG_DECODE_H_
