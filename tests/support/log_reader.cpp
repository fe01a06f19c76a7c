#include "log_reader.h"

#include <errno.h>
#include <stdlib.h>
#include <fcntl.h>
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
  if (!parse_payload(datagram, at, record, error)) return false;
  if (at != datagram.size()) return error = "bytes after the message's NUL", false;
  return true;
}

bool parse_kernel_log(const std::string& bytes, std::vector<log_record>& records,
                      std::string& error) {
  size_t at = 0;
  while (at < bytes.size()) {
    log_record record;
    if (!parse_payload(bytes, at, record, error)) return false;
    records.push_back(record);
  }
  return true;
}

logd_sink::logd_sink(const std::string& path) : path_(path) {
  sockaddr_un address = unix_address(path);
  fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    throw std::runtime_error("bind " + path + ": " + strerror(errno));
  chmod(path.c_str(), 0666);
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

logd_sink::~logd_sink() { close(fd_); }

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
  for (;;) {
    ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n < 0) break;
    log_record record;
    std::string error;
    if (!parse_logd_datagram(std::string(buffer, static_cast<size_t>(n)), record, error))
      throw std::runtime_error("malformed logd datagram: " + error);
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

std::string format_threadtime(const log_record& record) {
  static const char kLetters[] = "??VDIWEFS";
  char letter = record.priority >= 0 && record.priority < 9 ? kLetters[record.priority] : '?';
  time_t seconds = record.seconds;
  tm local = {};
  localtime_r(&seconds, &local);
  char stamp[32];
  strftime(stamp, sizeof stamp, "%m-%d %H:%M:%S", &local);
  std::string message = record.message;
  while (!message.empty() && message.back() == '\n') message.pop_back();
  char line[64];
  snprintf(line, sizeof line, "%s.%03u %5u %5u %c ", stamp, record.nanoseconds / 1000000,
           record.thread_id, record.thread_id, letter);
  return line + record.tag + ": " + message;
}

}  // namespace bootnote_test
