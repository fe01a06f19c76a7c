#include "log_transport.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include "log_entry.h"

namespace logwriter {

namespace {

enum transport_kind { UNCHOSEN, LOGD, KERNEL_LOGGER, NO_LOG };

struct transport {
  transport_kind kind;
  int fd;
  bool stalled;  // logd's queue stayed full once; do not wait on it again
};

transport g_transport = {UNCHOSEN, -1, false};

// A descriptor 0, 1 or 2 would also take what the program writes to a
// closed standard stream, such as its output flushed at exit: keep the log's
// descriptor above them.
int off_standard_streams(int fd) {
  if (fd < 0 || fd > 2) return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  close(fd);
  return moved;
}

int connect_logd() {
  int fd = off_standard_streams(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (fd < 0) return -1;
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  strcpy(address.sun_path, "/dev/socket/logdw");
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

void choose_transport() {
  g_transport.fd = connect_logd();
  if (g_transport.fd >= 0) {
    g_transport.kind = LOGD;
    return;
  }
  g_transport.fd = off_standard_streams(openat(AT_FDCWD, "/dev/log/main", O_WRONLY | O_CLOEXEC));
  g_transport.kind = g_transport.fd >= 0 ? KERNEL_LOGGER : NO_LOG;
}

// One writev, retried while interrupted. Returns bytes written or -errno.
int write_entry(const log_entry& entry) {
  ssize_t n;
  do {
    n = writev(g_transport.fd, entry.parts, entry.part_count);
  } while (n < 0 && errno == EINTR);
  return n < 0 ? -errno : static_cast<int>(n);
}

int send_to_logd(int priority, const char* tag, const char* message) {
  timespec now = {};
  clock_gettime(CLOCK_REALTIME, &now);
  log_entry entry;
  make_logd_entry(entry, priority, tag, message, static_cast<uint32_t>(gettid()),
                  static_cast<uint32_t>(now.tv_sec),
                  static_cast<uint32_t>(now.tv_nsec));

  // A full queue drains as logd reads it; wait for that briefly, never long.
  constexpr int kRetries = 10;
  constexpr timespec kPause = {0, 10 * 1000 * 1000};
  int result = write_entry(entry);
  for (int i = 0; i < kRetries && result == -EAGAIN && !g_transport.stalled; ++i) {
    nanosleep(&kPause, nullptr);
    result = write_entry(entry);
  }
  if (result == -EAGAIN) g_transport.stalled = true;
  return result;
}

}  // namespace

int send_log_entry(int priority, const char* tag, const char* message) {
  if (g_transport.kind == UNCHOSEN) choose_transport();
  switch (g_transport.kind) {
    case LOGD:
      return send_to_logd(priority, tag, message);
    case KERNEL_LOGGER: {
      log_entry entry;
      make_kernel_entry(entry, priority, tag, message);
      return write_entry(entry);
    }
    default:
      return -ENOENT;
  }
}

}  // namespace logwriter
