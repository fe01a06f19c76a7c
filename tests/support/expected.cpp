#include "expected.h"

#include <errno.h>
#include <string.h>

#include <stdexcept>

namespace bootnote_test {

std::string erasing(const std::string& path) {
  return "Eraseing boot coommand to partition " + path + "\n";
}
std::string writing(const std::string& command, const std::string& path) {
  return "Writeing boot coommand \"" + command + "\" from partition \"" + path + "\"\n";
}
std::string not_found(const std::string& path) {
  return "ERROR : partition not found \"" + path + "\"\n";
}
std::string write_failed(const std::string& path, const std::string& reason) {
  return "ERROR : write failed on partition \"" + path + "\" : " + reason + "\n";
}

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
               const std::vector<std::string>& start, const std::string& clock) {
  return {name, libc::musl, qemu, needs_qemu, write_run(start, clock, false), write_run(start, clock, true)};
}

// 32-bit builds ask for the 64-bit time first (Linux 5.1 and later).
const abi kAbis[] = {
    {"host", libc::glibc, "", false, {}, {}},
    device_abi("armeabi-v7a", "qemu-arm", true, {"set_tid_address"}, "clock_gettime64"),
    device_abi("arm64-v8a", "qemu-aarch64", true, {"set_tid_address"}, "clock_gettime"),
    device_abi("x86", "qemu-i386", true, {"set_thread_area", "set_tid_address"}, "clock_gettime64"),
    device_abi("x86_64", "qemu-x86_64", false, {"arch_prctl", "set_tid_address"}, "clock_gettime"),
};

}  // namespace

const abi& find_abi(const std::string& name) {
  for (const abi& candidate : kAbis)
    if (candidate.name == name) return candidate;
  throw std::invalid_argument("unknown build \"" + name + "\"");
}

}  // namespace bootnote_test
