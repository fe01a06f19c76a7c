// Runs inside the guest beside the unchanged device binary, built with the
// same toolchain for the same ABI; C library headers only, like the product.
// It prints raw bytes and decodes nothing: the host judges them.
//
//   guest_helper logd PATH    stands in for logd: receives datagrams at PATH
//                             until SIGTERM, then prints each as a line of hex
//   guest_helper hex < FILE   prints FILE as one line of hex, "-" for none
//   guest_helper old-kernel PROGRAM [ARG...]
//                             runs PROGRAM with only the system calls of the
//                             oldest kernel its ABI's first Android release ran
//   guest_helper refuse-fsync ERRNO PROGRAM [ARG...]
//                             runs PROGRAM with every fsync answered ERRNO
#include <errno.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include "guest_calls.h"

namespace {

// Installs a table that answers each call in `refused` (half-open ranges)
// with `error`, lets every other call through and kills a call of another
// architecture. Returns false, saying why, when it cannot.
template <size_t kRanges>
bool refuse_calls(const number_range (&refused)[kRanges], uint32_t error) {
  // Checks the architecture, loads the number, then two jumps per range:
  // below first, or at or above end, on to the next range; else refuse.
  // After the last range: allow.
  constexpr size_t kAllow = 4 + 2 * kRanges, kRefuse = kAllow + 1;
  sock_filter filter[kRefuse + 1] = {
      {kLoadWord, 0, 0, kArchOffset},
      {kJumpIfEqual, 1, 0, kAuditArch},
      {kReturn, 0, 0, kRetKill},
      {kLoadWord, 0, 0, kNumberOffset},
  };
  for (size_t i = 0, at = 4; i < kRanges; ++i, at += 2) {
    filter[at] = {kJumpIfAtLeast, 0, 1, refused[i].first};
    filter[at + 1] = {kJumpIfAtLeast, 0, static_cast<uint8_t>(kRefuse - (at + 2)), refused[i].end};
  }
  filter[kAllow] = {kReturn, 0, 0, kRetAllow};
  filter[kRefuse] = {kReturn, 0, 0, kRetErrno | error};
  sock_fprog program = {static_cast<unsigned short>(kRefuse + 1), filter};
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
      syscall(SYS_seccomp, 1 /* SET_MODE_FILTER */, 0, &program) != 0) {
    perror("guest_helper: seccomp");
    return false;
  }
  return true;
}

int run(char** argv) {
  execv(argv[0], argv);
  perror("guest_helper: exec");
  return 125;
}

// Runs argv under the old kernel's table (ENOSYS for every call it lacked),
// once a probe shows that the table bites. Returns only on failure, with 125.
int old_kernel(char** argv) {
  if (!refuse_calls(kMissing, ENOSYS)) return 125;
  char random[4];
  timespec now;
  long refused = syscall(kProbeNew, random, sizeof random, 0);
  int refused_errno = errno;
  long allowed = syscall(kProbeOld, CLOCK_REALTIME, &now);
  if (refused != -1 || refused_errno != ENOSYS || allowed != 0) {
    fprintf(stderr, "guest_helper old-kernel: the table does not bite: %ld -> %ld, %ld -> %ld\n",
            kProbeNew, refused, kProbeOld, allowed);
    return 125;
  }
  return run(argv);
}

// Runs argv with fsync answered `error`, as a file system that refuses it
// does, on whatever file argv writes.
int refuse_fsync(uint32_t error, char** argv) {
  constexpr number_range kFsync[] = {{SYS_fsync, SYS_fsync + 1}};
  return refuse_calls(kFsync, error) ? run(argv) : 125;
}

volatile sig_atomic_t g_stop = 0;

int logd(const char* path) {
  // No SA_RESTART: SIGTERM must end the waiting recv.
  struct sigaction stop = {};
  stop.sa_handler = [](int) { g_stop = 1; };
  sigaction(SIGTERM, &stop, nullptr);
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  strncpy(address.sun_path, path, sizeof address.sun_path - 1);
  unlink(path);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    perror("guest_helper logd: bind");
    return 1;
  }
  // Each wait ends after 100 ms, so a SIGTERM that comes between the look
  // at g_stop and the wait still ends it; then whatever is still queued.
  timeval tick = {0, 100 * 1000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tick, sizeof tick);
  unsigned char buffer[8192];
  for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, g_stop ? MSG_DONTWAIT : 0)) >= 0 ||
                  errno == EINTR || ((errno == EAGAIN || errno == EWOULDBLOCK) && !g_stop);) {
    for (ssize_t i = 0; i < n; ++i) printf("%02x", buffer[i]);
    if (n >= 0) puts(n == 0 ? "-" : "");
  }
  unlink(path);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "";
  if (strcmp(mode, "logd") == 0 && argc == 3) return logd(argv[2]);
  if (strcmp(mode, "old-kernel") == 0 && argc > 2) return old_kernel(argv + 2);
  if (strcmp(mode, "refuse-fsync") == 0 && argc > 3) return refuse_fsync(atoi(argv[2]), argv + 3);
  if (strcmp(mode, "hex") != 0 || argc != 2) {
    fprintf(stderr, "usage: guest_helper logd PATH | hex | old-kernel PROGRAM [ARG...] |"
            " refuse-fsync ERRNO PROGRAM [ARG...]\n");
    return 2;
  }
  int c, count = 0;
  for (; (c = getchar()) != EOF; ++count) printf("%02x", c);
  puts(count == 0 ? "-" : "");
  return 0;
}
