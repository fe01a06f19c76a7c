#include "log_reader.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

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

sockaddr_un unix_address(const std::string& path) {
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) throw std::runtime_error("socket path too long: " + path);
  strcpy(address.sun_path, path.c_str());
  return address;
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

logd_sink::logd_sink(const std::string& path) : path_(path) { restart(); }

void logd_sink::restart() {
  stop();
  unlink(path_.c_str());
  sockaddr_un address = unix_address(path_);
  fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  int on = 1;
  if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      setsockopt(fd_, SOL_SOCKET, SO_PASSCRED, &on, sizeof on) != 0)
    throw std::runtime_error("bind " + path_ + ": " + strerror(errno));
  chmod(path_.c_str(), 0666);
}

void logd_sink::stop() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void logd_sink::fill() {
  sockaddr_un address = unix_address(path_);
  int client = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (client < 0 || connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    throw std::runtime_error("connect " + path_ + ": " + strerror(errno));
  static const char kEntry[] = "\0\1\0\0\0\0\0\0\0\0\0\4filler\0queued";
  while (send(client, kEntry, sizeof kEntry, 0) == static_cast<ssize_t>(sizeof kEntry)) {
  }
  close(client);
}

logd_sink::~logd_sink() { stop(); }

int logd_sink::references() const {
  std::ifstream table("/proc/net/unix");
  std::string line;
  while (std::getline(table, line)) {
    if (line.size() > path_.size() && line.compare(line.size() - path_.size(), path_.size(), path_) == 0 &&
        line[line.size() - path_.size() - 1] == ' ')
      return static_cast<int>(strtol(line.substr(line.find(' ') + 1).c_str(), nullptr, 16));
  }
  return -1;
}

std::vector<log_record> logd_sink::drain() {
  std::vector<log_record> records;
  char buffer[8192];
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
  for (;;) {
    iovec data = {buffer, sizeof buffer};
    msghdr message = {};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t n = recvmsg(fd_, &message, 0);
    if (n < 0) break;
    log_record record;
    std::string error;
    if (!parse_logd_datagram(std::string(buffer, static_cast<size_t>(n)), record, error))
      throw std::runtime_error("malformed logd datagram: " + error);
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    if (header != nullptr && header->cmsg_type == SCM_CREDENTIALS) {
      ucred credentials;
      memcpy(&credentials, CMSG_DATA(header), sizeof credentials);
      record.pid = static_cast<uint32_t>(credentials.pid);
      record.uid = credentials.uid;
    }
    records.push_back(record);
  }
  return records;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace bootnote_test
