#include "log_decode.h"

namespace bootnote_test {

namespace {

uint32_t get_le(const std::string& bytes, size_t at, size_t size) {
  uint32_t value = 0;
  for (size_t i = 0; i < size; ++i)
    value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  return value;
}

// Reads "priority tag NUL message NUL" at `at`; advances `at` past it.
bool parse_payload(const std::string& bytes, size_t& at, log_record& record,
                   std::string& error) {
  if (at >= bytes.size()) return error = "no priority byte", false;
  record.priority = static_cast<unsigned char>(bytes[at++]);
  size_t tag_end = bytes.find('\0', at);
  if (tag_end == std::string::npos) return error = "tag without NUL", false;
  record.tag = bytes.substr(at, tag_end - at);
  at = tag_end + 1;
  size_t message_end = bytes.find('\0', at);
  if (message_end == std::string::npos) return error = "message without NUL", false;
  record.message = bytes.substr(at, message_end - at);
  at = message_end + 1;
  return true;
}

}  // namespace

bool parse_logd_datagram(const std::string& datagram, log_record& record,
                         std::string& error) {
  if (datagram.size() < 11) return error = "datagram shorter than its header", false;
  record.log_id = static_cast<unsigned char>(datagram[0]);
  record.thread_id = get_le(datagram, 1, 2);
  record.seconds = get_le(datagram, 3, 4);
  record.nanoseconds = get_le(datagram, 7, 4);
  size_t at = 11;
  record.payload = datagram.substr(at);
  if (!parse_payload(datagram, at, record, error)) return false;
  if (at != datagram.size()) return error = "bytes after the message's NUL", false;
  return true;
}

bool parse_pmsg(const std::string& bytes, std::vector<pmsg_record>& records, std::string& error) {
  size_t at = 0;
  while (at < bytes.size()) {
    if (bytes.size() - at < 7) return error = "record shorter than its header", false;
    pmsg_record record;
    record.magic = static_cast<unsigned char>(bytes[at]);
    record.length = get_le(bytes, at + 1, 2);
    record.uid = get_le(bytes, at + 3, 2);
    record.pid = get_le(bytes, at + 5, 2);
    // The logd datagram inside ends at its message's NUL.
    size_t tag_end = bytes.find('\0', at + 7 + 12);
    size_t end = tag_end == std::string::npos ? tag_end : bytes.find('\0', tag_end + 1);
    if (end == std::string::npos) return error = "record without its message's NUL", false;
    record.size = end + 1 - at;
    if (!parse_logd_datagram(bytes.substr(at + 7, record.size - 7), record.entry, error)) return false;
    records.push_back(record);
    at += record.size;
  }
  return true;
}

bool parse_kernel_log(const std::string& bytes, std::vector<log_record>& records,
                      std::string& error) {
  size_t at = 0;
  while (at < bytes.size()) {
    log_record record;
    size_t start = at;
    if (!parse_payload(bytes, at, record, error)) return false;
    record.payload = bytes.substr(start, at - start);
    records.push_back(record);
  }
  return true;
}

std::string gather(const iovec* parts, int count) {
  std::string bytes;
  for (int i = 0; i < count; ++i) bytes.append(static_cast<const char*>(parts[i].iov_base), parts[i].iov_len);
  return bytes;
}

}  // namespace bootnote_test
