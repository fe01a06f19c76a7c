// How one log entry is laid out for the device's log transports. Pure: no
// system calls, so the layout can be checked and fuzzed on its own.
#ifndef BOOTNOTE_LOGWRITER_LOG_ENTRY_H_
#define BOOTNOTE_LOGWRITER_LOG_ENTRY_H_

#include <stddef.h>
#include <stdint.h>
#include <sys/uio.h>

namespace logwriter {

// Longest formatted message, terminator included; longer text is cut.
constexpr size_t LOG_MESSAGE_BUFFER = 1024;
// Most bytes one entry may carry after its header: priority, tag, message
// and their terminators.
constexpr size_t LOG_PAYLOAD_MAX = 4068;
// logd's header: u8 log id, u16 thread id, u32 seconds, u32 nanoseconds.
constexpr size_t LOGD_HEADER_SIZE = 11;
// pstore's header before its copy of an entry: u8 magic 'l', u16 length of
// the whole record (both headers included), u16 uid, u16 pid.
constexpr size_t PMSG_HEADER_SIZE = 7;
// The main log buffer's id.
constexpr uint8_t LOG_ID_MAIN = 0;

// Most parts of one entry's gather list: pstore header, logd header,
// priority, tag, NUL, message, NUL.
constexpr int LOG_ENTRY_MAX_PARTS = 7;

// One entry as a gather list: [pstore header,] [logd header,] priority, tag,
// NUL, message, NUL. Refers to the tag and message it was made from, which
// must outlive it.
struct log_entry {
  unsigned char pmsg_header[PMSG_HEADER_SIZE];
  unsigned char header[LOGD_HEADER_SIZE];
  unsigned char priority;
  iovec parts[LOG_ENTRY_MAX_PARTS];
  int part_count;
};

// Fills `entry` for the kernel logger: priority, tag and message, each
// string followed by its NUL. A null tag or message counts as "". The
// message, then the tag, is cut so the payload fits LOG_PAYLOAD_MAX.
void make_kernel_entry(log_entry& entry, int priority, const char* tag,
                       const char* message);

// As make_kernel_entry, preceded by logd's header for the main buffer with
// `thread_id` cut to 16 bits and the time little-endian, as logd reads it.
void make_logd_entry(log_entry& entry, int priority, const char* tag,
                     const char* message, uint32_t thread_id,
                     uint32_t seconds, uint32_t nanoseconds);

// Turns an entry made by make_logd_entry into the copy kept in pstore
// (/dev/pmsg0): the same bytes after pstore's header for `uid` and `pid`,
// each cut to 16 bits.
void add_pmsg_header(log_entry& entry, uint32_t uid, uint32_t pid);

}  // namespace logwriter

#endif  // BOOTNOTE_LOGWRITER_LOG_ENTRY_H_
