#include "log_entry.h"

#include <string.h>

namespace logwriter {

namespace {

const char kNul[1] = {'\0'};

void put_le(unsigned char* out, uint32_t value, size_t size) {
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

void add_part(log_entry& entry, const void* data, size_t size) {
  entry.parts[entry.part_count].iov_base = const_cast<void*>(data);
  entry.parts[entry.part_count].iov_len = size;
  ++entry.part_count;
}

// Appends priority, tag, NUL, message, NUL, within LOG_PAYLOAD_MAX.
void add_payload(log_entry& entry, int priority, const char* tag,
                 const char* message) {
  if (tag == nullptr) tag = "";
  if (message == nullptr) message = "";
  constexpr size_t kFixed = 3;  // priority byte and two terminators
  size_t tag_size = strnlen(tag, LOG_PAYLOAD_MAX - kFixed);
  size_t message_size = strnlen(message, LOG_PAYLOAD_MAX - kFixed - tag_size);

  entry.priority = static_cast<unsigned char>(priority);
  add_part(entry, &entry.priority, 1);
  add_part(entry, tag, tag_size);
  add_part(entry, kNul, 1);
  add_part(entry, message, message_size);
  add_part(entry, kNul, 1);
}

}  // namespace

void make_kernel_entry(log_entry& entry, int priority, const char* tag,
                       const char* message) {
  entry.part_count = 0;
  add_payload(entry, priority, tag, message);
}

void make_logd_entry(log_entry& entry, int priority, const char* tag,
                     const char* message, uint32_t thread_id,
                     uint32_t seconds, uint32_t nanoseconds) {
  entry.header[0] = LOG_ID_MAIN;
  put_le(entry.header + 1, thread_id & 0xffff, 2);
  put_le(entry.header + 3, seconds, 4);
  put_le(entry.header + 7, nanoseconds, 4);
  entry.part_count = 0;
  add_part(entry, entry.header, LOGD_HEADER_SIZE);
  add_payload(entry, priority, tag, message);
}

void add_pmsg_header(log_entry& entry, uint32_t uid, uint32_t pid) {
  size_t length = PMSG_HEADER_SIZE;
  for (int i = entry.part_count; i > 0; --i) {
    entry.parts[i] = entry.parts[i - 1];
    length += entry.parts[i].iov_len;
  }
  ++entry.part_count;
  entry.pmsg_header[0] = 'l';
  put_le(entry.pmsg_header + 1, static_cast<uint32_t>(length), 2);
  put_le(entry.pmsg_header + 3, uid & 0xffff, 2);
  put_le(entry.pmsg_header + 5, pid & 0xffff, 2);
  entry.parts[0].iov_base = entry.pmsg_header;
  entry.parts[0].iov_len = PMSG_HEADER_SIZE;
}

}  // namespace logwriter
