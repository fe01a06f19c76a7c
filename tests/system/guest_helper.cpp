// Runs inside the guest beside the unchanged device binary, built with the
// same toolchain for the same ABI; C library headers only, like the product.
// It reports raw facts; the host checks them.
//
//   guest_helper logd PATH            stands in for logd: receives entries at
//                                     PATH until SIGTERM, then prints them
//   guest_helper kernel-log < FILE    prints the kernel logger's entries
//   guest_helper hex < FILE           prints FILE as one line of hex
//   guest_helper old-kernel PROGRAM...
//                                     runs PROGRAM with only the system calls
//                                     of the oldest kernel its ABI's first
//                                     Android release ran; the guest kernel
//                                     logs every call
//
// An entry prints as one line: "logd ID TID SECONDS NANOSECONDS PRIORITY TAG
// MESSAGE" or "kernel-log - - - - PRIORITY TAG MESSAGE", the tag and the
// message in hex, up to (not including) their terminating zero byte; an
// entry that cannot be taken apart prints as "malformed HEX".
#include <errno.h>
#include <signal.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include "guest_old_kernel.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void print_hex(const char* data, size_t size) {
  for (size_t i = 0; i < size; ++i) printf("%02x", static_cast<unsigned char>(data[i]));
}

// An entry's payload: priority, tag NUL, message NUL.
struct payload {
  int priority;
  const char* tag;
  size_t tag_size;
  const char* message;
  size_t message_size;
  size_t used;  // bytes of the payload, both NULs included
};

// Takes the payload at data apart; false when it is not all there.
bool split_payload(const char* data, size_t size, payload* out) {
  if (size < 3) return false;
  const char* tag_end = static_cast<const char*>(memchr(data + 1, '\0', size - 1));
  if (tag_end == nullptr) return false;
  const char* message = tag_end + 1;
  const char* end = static_cast<const char*>(memchr(message, '\0', static_cast<size_t>(data + size - message)));
  if (end == nullptr) return false;
  *out = {data[0], data + 1, static_cast<size_t>(tag_end - data - 1), message, static_cast<size_t>(end - message),
          static_cast<size_t>(end + 1 - data)};
  return true;
}

// Prints " PRIORITY TAG MESSAGE" and the line's end.
void print_payload(const payload& entry) {
  printf(" %d ", entry.priority);
  print_hex(entry.tag, entry.tag_size);
  putchar(' ');
  print_hex(entry.message, entry.message_size);
  putchar('\n');
}

void print_malformed(const char* data, size_t size) {
  fputs("malformed ", stdout);
  print_hex(data, size);
  putchar('\n');
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
  // Each wait ends after 100 ms, so a SIGTERM that comes between the look
  // at g_stop and the wait still ends it.
  timeval tick = {0, 100 * 1000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tick, sizeof tick);
  char buffer[8192];
  // Until SIGTERM, then whatever is still queued.
  for (;;) {
    ssize_t n = recv(fd, buffer, sizeof buffer, g_stop ? MSG_DONTWAIT : 0);
    if (n < 0 && (errno == EINTR || ((errno == EAGAIN || errno == EWOULDBLOCK) && !g_stop))) continue;
    if (n < 0) break;
    size_t size = static_cast<size_t>(n);
    // logd's header: log id (1 byte), thread id (2), seconds, nanoseconds
    // (4 each), then the payload.
    payload entry;
    if (size <= 11 || !split_payload(buffer + 11, size - 11, &entry) || entry.used != size - 11) {
      print_malformed(buffer, size);
      continue;
    }
    uint16_t tid;
    uint32_t seconds, nanoseconds;
    memcpy(&tid, buffer + 1, sizeof tid);
    memcpy(&seconds, buffer + 3, sizeof seconds);
    memcpy(&nanoseconds, buffer + 7, sizeof nanoseconds);
    printf("logd %u %u %u %u", static_cast<unsigned char>(buffer[0]), tid, seconds, nanoseconds);
    print_payload(entry);
  }
  unlink(path);
  return 0;
}

int kernel_log() {
  static char buffer[65536];
  size_t size = fread(buffer, 1, sizeof buffer, stdin);
  for (size_t at = 0; at < size;) {
    payload entry;
    if (!split_payload(buffer + at, size - at, &entry)) {
      print_malformed(buffer + at, size - at);
      return 0;
    }
    fputs("kernel-log - - - -", stdout);
    print_payload(entry);
    at += entry.used;
  }
  return 0;
}

// "-" for no bytes at all, so that the field is never empty.
int hex() {
  int c, count = 0;
  for (; (c = getchar()) != EOF; ++count) printf("%02x", c);
  puts(count == 0 ? "-" : "");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "";
  if (strcmp(mode, "logd") == 0 && argc == 3) return logd(argv[2]);
  if (strcmp(mode, "kernel-log") == 0) return kernel_log();
  if (strcmp(mode, "hex") == 0) return hex();
  if (strcmp(mode, "old-kernel") == 0 && argc > 2) return run_under_old_kernel(argv + 2);
  fprintf(stderr, "usage: guest_helper logd PATH | kernel-log | hex | old-kernel PROGRAM [ARG...]\n");
  return 2;
}
