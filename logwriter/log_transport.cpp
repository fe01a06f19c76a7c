#include "log_transport.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/auxv.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include "log_entry.h"

namespace logwriter {

namespace {

enum transport_kind { UNCHOSEN, LOGD, KERNEL_LOGGER };

struct transport {
  transport_kind kind;
  int fd;
  bool seen_logd;  // logd has been this process's transport
  bool stalled;    // logd's queue stayed full once; do not wait on it again
  int pmsg_fd;     // /dev/pmsg0; -1 when absent, -2 before the first entry
};

transport g_transport = {UNCHOSEN, -1, false, false, -2};

// A descriptor 0, 1 or 2 would also take what the program writes to a
// closed standard stream, such as its output flushed at exit: keep the log's
// descriptors above them.
int off_standard_streams(int fd) {
  if (fd < 0 || fd > 2) return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  close(fd);
  return moved;
}

// Returns a descriptor connected to logd's socket, or -errno.
int connect_logd() {
  int fd = off_standard_streams(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (fd < 0) return -errno;
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  strcpy(address.sun_path, "/dev/socket/logdw");
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    int error = errno;
    close(fd);
    return -error;
  }
  return fd;
}

// logd when its socket takes a connection. The kernel logger, for good, only
// when there has never been a logd socket (Android 4.3 and 4.4): a socket
// that refuses, or one gone since, is logd restarting. Otherwise nothing, and
// the next entry tries again.
void choose_transport() {
  int fd = connect_logd();
  if (fd >= 0) {
    g_transport.kind = LOGD;
    g_transport.fd = fd;
    g_transport.seen_logd = true;
    return;
  }
  if (fd != -ENOENT || g_transport.seen_logd) return;
  fd = off_standard_streams(openat(AT_FDCWD, "/dev/log/main", O_WRONLY | O_CLOEXEC));
  if (fd >= 0) {
    g_transport.kind = KERNEL_LOGGER;
    g_transport.fd = fd;
  }
}

// One writev, retried while interrupted. Returns bytes written or -errno.
int write_entry(int fd, const log_entry& entry) {
  ssize_t n;
  do {
    n = writev(fd, entry.parts, entry.part_count);
  } while (n < 0 && errno == EINTR);
  return n < 0 ? -errno : static_cast<int>(n);
}

// A full queue drains as logd reads it; wait for that briefly, never long.
int write_waiting(const log_entry& entry) {
  constexpr int kRetries = 10;
  constexpr timespec kPause = {0, 10 * 1000 * 1000};
  int result = write_entry(g_transport.fd, entry);
  for (int i = 0; i < kRetries && result == -EAGAIN && !g_transport.stalled; ++i) {
    nanosleep(&kPause, nullptr);
    result = write_entry(g_transport.fd, entry);
  }
  if (result == -EAGAIN) g_transport.stalled = true;
  return result;
}

// A logd that died answers ECONNREFUSED, then ENOTCONN: connect to the one
// that replaced it and send again, once.
int send_to_logd(const log_entry& entry) {
  int result = write_waiting(entry);
  if (result >= 0 || result == -EAGAIN) return result;
  close(g_transport.fd);
  g_transport.fd = connect_logd();
  if (g_transport.fd < 0) {
    g_transport.kind = UNCHOSEN;
    return g_transport.fd;
  }
  return write_entry(g_transport.fd, entry);
}

}  // namespace

int send_log_entry(int priority, const char* tag, const char* message) {
  if (g_transport.kind == UNCHOSEN) choose_transport();
  if (g_transport.pmsg_fd == -2)
    g_transport.pmsg_fd =
        off_standard_streams(openat(AT_FDCWD, "/dev/pmsg0", O_WRONLY | O_CLOEXEC));

  log_entry entry;
  int result = -ENOENT;
  if (g_transport.kind == KERNEL_LOGGER) {
    make_kernel_entry(entry, priority, tag, message);
    result = write_entry(g_transport.fd, entry);
  }
  if (g_transport.kind == LOGD || g_transport.pmsg_fd >= 0) {
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    // gettid costs no system call on musl; in a single-threaded program
    // such as bootnote it is also the process id, which getpid would ask
    // the kernel for.
    uint32_t thread_id = static_cast<uint32_t>(gettid());
    make_logd_entry(entry, priority, tag, message, thread_id, static_cast<uint32_t>(now.tv_sec),
                    static_cast<uint32_t>(now.tv_nsec));
    if (g_transport.kind == LOGD) result = send_to_logd(entry);
    if (g_transport.pmsg_fd >= 0) {
      // The copy that survives a warm reboot; written whatever logd did.
      add_pmsg_header(entry, static_cast<uint32_t>(getauxval(AT_UID)), thread_id);
      write_entry(g_transport.pmsg_fd, entry);
    }
  }
  return result;
}

}  // namespace logwriter
