#include "logd_fake.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace bootnote_test {

namespace {

using clock = std::chrono::steady_clock;
constexpr auto kLateBy = std::chrono::milliseconds(20);

sockaddr_un unix_address(const std::string& path) {
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) throw std::runtime_error("socket path too long: " + path);
  strcpy(address.sun_path, path.c_str());
  return address;
}

// Receives one queued datagram into `record`; false when none is queued.
bool receive(int fd, log_record& record) {
  char buffer[8192];
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
  iovec data = {buffer, sizeof buffer};
  msghdr message = {};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  ssize_t n = recvmsg(fd, &message, MSG_DONTWAIT);
  if (n < 0) return false;
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
  return true;
}

}  // namespace

logd_fake::logd_fake(logd_mode mode, const std::string& socket_path) : mode_(mode), path_(socket_path) {
  if (path_.empty()) {
    dir_ = std::make_unique<temp_dir>();
    chmod(dir_->path().c_str(), 0755);  // reachable by every user, as /dev/socket is
    path_ = dir_->path() + "/logdw";
  }
  bind_socket();
  if (mode == logd_mode::queue_full || mode == logd_mode::late_reader) fill();
  if (mode == logd_mode::refusing) stop();
  references_before_ = references();
  bool reads_at_once = mode != logd_mode::queue_full && mode != logd_mode::late_reader;
  read_from_ = reads_at_once ? clock::now() : clock::time_point::max();
}

logd_fake::~logd_fake() { stop(); }

void logd_fake::bind_socket() {
  unlink(path_.c_str());
  sockaddr_un address = unix_address(path_);
  fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  int on = 1;
  if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      setsockopt(fd_, SOL_SOCKET, SO_PASSCRED, &on, sizeof on) != 0)
    throw std::runtime_error("bind " + path_ + ": " + strerror(errno));
  chmod(path_.c_str(), 0666);
}

void logd_fake::stop() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

// Sends well-formed entries (tag "filler") until the queue is full, so that
// writers get EAGAIN.
void logd_fake::fill() {
  sockaddr_un address = unix_address(path_);
  int client = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (client < 0 || connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    throw std::runtime_error("connect " + path_ + ": " + strerror(errno));
  static const char kEntry[] = "\0\1\0\0\0\0\0\0\0\0\0\4filler\0queued";
  while (send(client, kEntry, sizeof kEntry, 0) == static_cast<ssize_t>(sizeof kEntry)) {
  }
  close(client);
}

// How many references the kernel holds to the socket, one more for each
// client connected to it (from /proc/net/unix); -1 when not listed.
int logd_fake::references() const {
  std::ifstream table("/proc/net/unix");
  std::string line;
  while (std::getline(table, line)) {
    if (line.size() > path_.size() && line.compare(line.size() - path_.size(), path_.size(), path_) == 0 &&
        line[line.size() - path_.size() - 1] == ' ')
      return static_cast<int>(strtol(line.substr(line.find(' ') + 1).c_str(), nullptr, 16));
  }
  return -1;
}

std::vector<log_record> logd_fake::drain() {
  std::vector<log_record> records;
  log_record record;
  while (fd_ >= 0 && receive(fd_, record)) {
    if (record.tag != "filler") records.push_back(record);
    record = log_record();
    if (records.size() != 1 || first_entry_seen_) continue;
    first_entry_seen_ = true;
    // What was still queued dies with the old socket.
    if (mode_ == logd_mode::restarting) {
      stop();
      bind_socket();
    }
    if (mode_ == logd_mode::vanishing) {
      stop();
      unlink(path_.c_str());
    }
  }
  return records;
}

void logd_fake::set_up(sandbox_setup& setup) {
  if (dir_) setup.bwrap_args.insert(setup.bwrap_args.end(), {"--bind", dir_->path(), "/dev/socket"});
}

int logd_fake::wake_fd() const { return clock::now() >= read_from_ ? fd_ : -1; }

int logd_fake::wake_after_ms() const {
  if (mode_ != logd_mode::late_reader) return -1;
  if (read_from_ == clock::time_point::max()) return 1;  // watching for the client
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(read_from_ - clock::now()).count();
  return static_cast<int>(std::max<long long>(left, 0) + 1);
}

void logd_fake::follow(run_state& run) {
  if (mode_ == logd_mode::late_reader && read_from_ == clock::time_point::max() &&
      references() > references_before_)
    read_from_ = clock::now() + kLateBy;
  if (clock::now() < read_from_) return;
  std::vector<log_record> received = drain();
  run.log.insert(run.log.end(), received.begin(), received.end());
}

void logd_fake::collect(run_state& run) { follow(run); }

}  // namespace bootnote_test
