#include "expected.h"

#include <errno.h>
#include <string.h>

#include <stdexcept>

namespace bootnote_test {

std::string reason(libc library, int error) {
  if (library == libc::glibc) return strerror(error);
  switch (error) {
    case EIO: return "I/O error";
    case ENOSPC: return "No space left on device";
    case EPERM: return "Operation not permitted";
    case EPIPE: return "Broken pipe";
    case EACCES: return "Permission denied";
    case EROFS: return "Read-only file system";
  }
  throw std::invalid_argument("musl's text for errno " + std::to_string(error) + " is not known to the tests");
}

namespace {

// The calls of a write run with logd present: the C library's start-up
// (`start`), SIGPIPE ignored, logd's socket, the probe for /dev/pmsg0, the
// time (`clock`) and the entry (and its copy in pstore), the record written
// and synced, the banner flushed at exit.
std::vector<std::string> write_run(std::vector<std::string> start, const std::string& clock, bool pmsg) {
  std::vector<std::string> calls = std::move(start);
  calls.insert(calls.end(), {"rt_sigaction", "socket", "connect", "openat", clock, "writev"});
  if (pmsg) calls.push_back("writev");
  calls.insert(calls.end(), {"openat", "write", "fsync", "close", "writev", "exit_group"});
  return calls;
}

abi device_abi(const std::string& name, const std::string& qemu, bool needs_qemu,
               const std::vector<std::string>& start, const std::string& clock, const std::string& old_kernel,
               const std::vector<long>& old_kernel_write_calls) {
  return {name, libc::musl, qemu, needs_qemu, write_run(start, clock, false), write_run(start, clock, true),
          old_kernel, old_kernel_write_calls};
}

// 32-bit builds ask for the 64-bit time first (Linux 5.1 and later).
const abi kAbis[] = {
    {"host", libc::glibc, "", false, {}, {}, "", {}},
    // Under Linux 3.0's calls: execve, set_tls (0xf0005), set_tid_address,
    // rt_sigaction, socket, connect, openat of /dev/pmsg0, clock_gettime64
    // refused, clock_gettime, writev, openat, write, fsync, close, writev,
    // exit_group.
    device_abi("armeabi-v7a", "qemu-arm", true, {"set_tid_address"}, "clock_gettime64",
               "3.0", {11, 983045, 256, 174, 281, 283, 322, 403, 263, 146, 322, 4, 118, 6, 146, 248}),
    // Under Linux 3.10's calls: execve, set_tid_address, rt_sigaction,
    // socket, connect, openat of /dev/pmsg0, writev (the time comes from
    // the vDSO, as it did on 3.10), openat, write, fsync, close, writev,
    // exit_group.
    device_abi("arm64-v8a", "qemu-aarch64", true, {"set_tid_address"}, "clock_gettime",
               "3.10", {221, 96, 134, 198, 203, 56, 66, 56, 64, 82, 57, 66, 94}),
    // Under Linux 3.10's i386 calls: execve, set_thread_area,
    // set_tid_address, rt_sigaction, socket refused, socketcall(socket),
    // connect refused, socketcall(connect), openat of /dev/pmsg0,
    // clock_gettime64 refused, clock_gettime, writev, openat, write, fsync,
    // close, writev, exit_group.
    device_abi("x86", "qemu-i386", true, {"set_thread_area", "set_tid_address"}, "clock_gettime64",
               "3.10", {11, 243, 258, 174, 359, 102, 362, 102, 295, 403, 265, 146, 295, 4, 118, 6, 146, 252}),
    // Under Linux 3.10's calls: execve, arch_prctl, set_tid_address,
    // rt_sigaction, socket, connect, openat of /dev/pmsg0, writev (the time
    // from the vDSO), openat, write, fsync, close, writev, exit_group.
    device_abi("x86_64", "qemu-x86_64", false, {"arch_prctl", "set_tid_address"}, "clock_gettime",
               "3.10", {59, 158, 218, 13, 41, 42, 257, 20, 257, 1, 74, 3, 20, 231}),
};

}  // namespace

const abi& find_abi(const std::string& name) {
  for (const abi& candidate : kAbis)
    if (candidate.name == name) return candidate;
  throw std::invalid_argument("unknown build \"" + name + "\"");
}

}  // namespace bootnote_test
