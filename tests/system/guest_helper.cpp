// Runs inside the ARM guest beside the unchanged device binary; C library
// headers only, like the product.
//
//   guest_helper logd PATH           stands in for logd: receives entries at
//                                    PATH until SIGTERM, then prints them
//   guest_helper kernel-log < FILE   prints the kernel logger's entries
//   guest_helper hex < FILE          prints FILE as one line of hex
//   guest_helper linux30 PROGRAM...  runs PROGRAM with Linux 3.0's system
//                                    calls only, every call logged
//
// An entry prints as "PRIORITY TAG MESSAGE", the message's line feeds and
// backslashes escaped as \n and \\; a logd entry dated before 2020 has
// "time SECONDS: " before it.
#include <errno.h>
#include <signal.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

namespace {

// The kernel's seccomp and BPF interface (<linux/seccomp.h>, <linux/filter.h>),
// which musl's headers do not carry.
struct sock_filter {
  uint16_t code;
  uint8_t jt, jf;
  uint32_t k;
};
struct sock_fprog {
  unsigned short len;
  sock_filter* filter;
};
constexpr uint16_t kLoadNumber = 0x20;  // BPF_LD | BPF_W | BPF_ABS, seccomp_data.nr at 0
constexpr uint16_t kJumpIfAtLeast = 0x35;  // BPF_JMP | BPF_JGE | BPF_K
constexpr uint16_t kJumpIfAbove = 0x25;    // BPF_JMP | BPF_JGT | BPF_K
constexpr uint16_t kReturn = 0x06;         // BPF_RET | BPF_K
constexpr unsigned kSetModeFilter = 1, kFilterFlagLog = 2;
constexpr uint32_t kRetLog = 0x7ffc0000, kRetErrno = 0x00050000;

constexpr uint32_t kYear2020 = 1577836800;

volatile sig_atomic_t g_stop = 0;

void print_escaped(const char* text, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    if (text[i] == '\n') fputs("\\n", stdout);
    else if (text[i] == '\\') fputs("\\\\", stdout);
    else putchar(text[i]);
  }
}

// Prints "priority tag message" from priority, tag NUL, message NUL;
// returns the bytes used, 0 when malformed.
size_t print_payload(const char* data, size_t size) {
  const char* tag_end = static_cast<const char*>(memchr(data + 1, '\0', size > 1 ? size - 1 : 0));
  if (size < 3 || tag_end == nullptr) return 0;
  const char* message = tag_end + 1;
  const char* end = static_cast<const char*>(memchr(message, '\0', static_cast<size_t>(data + size - message)));
  if (end == nullptr) return 0;
  printf("%d ", data[0]);
  print_escaped(data + 1, static_cast<size_t>(tag_end - data - 1));
  putchar(' ');
  print_escaped(message, static_cast<size_t>(end - message));
  putchar('\n');
  return static_cast<size_t>(end + 1 - data);
}

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
  char buffer[8192];
  // Until SIGTERM, then whatever is still queued.
  for (;;) {
    ssize_t n = recv(fd, buffer, sizeof buffer, g_stop ? MSG_DONTWAIT : 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    if (n < 11) {
      printf("malformed entry\n");
      continue;
    }
    // Its time must be real: musl falls back to clock_gettime on kernels
    // without clock_gettime64, and a failed call would leave zero.
    uint32_t seconds;
    memcpy(&seconds, buffer + 3, sizeof seconds);
    if (seconds < kYear2020) printf("time %u: ", seconds);
    if (print_payload(buffer + 11, static_cast<size_t>(n) - 11) == 0) printf("malformed entry\n");
  }
  unlink(path);
  return 0;
}

int kernel_log() {
  static char buffer[65536];
  size_t size = fread(buffer, 1, sizeof buffer, stdin);
  for (size_t at = 0; at < size;) {
    size_t used = print_payload(buffer + at, size - at);
    if (used == 0) {
      printf("malformed entry\n");
      return 1;
    }
    at += used;
  }
  return 0;
}

int hex() {
  int c;
  while ((c = getchar()) != EOF) printf("%02x", c);
  putchar('\n');
  return 0;
}

// ENOSYS for every ARM EABI call Linux 3.0 lacks: numbers 376 and above
// below the private range, and private calls above 0xf0005. Every call,
// allowed or refused, is logged by the kernel.
int linux30(char** argv) {
  sock_filter filter[] = {
      {kLoadNumber, 0, 0, 0},
      {kJumpIfAtLeast, 0, 1, 0xf0000},  // private calls: 2, else 3
      {kJumpIfAbove, 1, 2, 0xf0005},    // unknown private call: refuse
      {kJumpIfAtLeast, 0, 1, 376},      // newer than Linux 3.0: refuse
      {kReturn, 0, 0, kRetErrno | ENOSYS},
      {kReturn, 0, 0, kRetLog},
  };

  sock_fprog program = {static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
      syscall(SYS_seccomp, kSetModeFilter, kFilterFlagLog, &program) != 0) {
    perror("guest_helper linux30: seccomp");
    return 1;
  }
  // Proof that it bites: clock_gettime64 (403) is refused, clock_gettime
  // (263) works.
  timespec now;
  long refused = syscall(403, CLOCK_REALTIME, &now);
  int refused_errno = errno;
  long allowed = syscall(263, CLOCK_REALTIME, &now);
  fprintf(stderr, "linux30: 403 -> %s, 263 -> %s\n", refused == -1 && refused_errno == ENOSYS ? "ENOSYS" : "not refused",
          allowed == 0 ? "ok" : "failed");
  if (refused != -1 || refused_errno != ENOSYS || allowed != 0) return 1;
  execv(argv[0], argv);
  perror("guest_helper linux30: exec");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "";
  if (strcmp(mode, "logd") == 0 && argc == 3) return logd(argv[2]);
  if (strcmp(mode, "kernel-log") == 0) return kernel_log();
  if (strcmp(mode, "hex") == 0) return hex();
  if (strcmp(mode, "linux30") == 0 && argc > 2) return linux30(argv + 2);
  fprintf(stderr, "usage: guest_helper logd PATH | kernel-log | hex | linux30 PROGRAM [ARG...]\n");
  return 2;
}
