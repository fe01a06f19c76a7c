// What the tool must print, log and call, written once for every layer of the
// tests: end-to-end, fault and guest cases all take it from here, and the
// tool's texts appear in no other file of the tests. Taken from nothing in
// the product, so that a typo there fails a test here.
#ifndef BOOTNOTE_TESTS_EXPECTED_H_
#define BOOTNOTE_TESTS_EXPECTED_H_

#include <string>
#include <vector>

namespace bootnote_test {

// The log priorities the tool uses (<android/log.h>'s values).
enum class priority { info = 4, error = 6 };

// The tag of every entry.
inline const std::string kTag = "bootnote";

// Standard output of every run, and what follows it when the number of
// operands is wrong.
inline const std::string kBanner =
    "\n----------------------------------------------\n"
    "-------- bootnote by bootnote.example --------\n"
    "----------------------------------------------\n";
inline const std::string kUsage = "\nUsage : bootnote <path of misc> <boot command>\n\n";

// Records the tool writes: the usual command, and an erase.
inline const std::string kRecoveryRecord("boot-recovery\0", 14);
inline const std::string kErasedRecord(14, '\0');

// The log messages, letter for letter. "Eraseing", "Writeing" and "coommand"
// are the tool's own spelling, kept because scripts match them.
inline const std::string kUsageError = "ERROR : Usage : bootnote <path of misc> <boot command>\n";
inline std::string erasing(const std::string& path) {
  return "Eraseing boot coommand to partition " + path + "\n";
}
inline std::string writing(const std::string& command, const std::string& path) {
  return "Writeing boot coommand \"" + command + "\" from partition \"" + path + "\"\n";
}
inline std::string not_found(const std::string& path) {
  return "ERROR : partition not found \"" + path + "\"\n";
}
inline std::string write_failed(const std::string& path, const std::string& reason) {
  return "ERROR : write failed on partition \"" + path + "\" : " + reason + "\n";
}

// The C library a build links, which words its error texts.
enum class libc { glibc, musl };

// What strerror says for `error` in `library`. glibc's texts are this test
// machine's own.
std::string reason(libc library, int error);

// A build the tests run: the build machine's, or one of Android's ABIs.
struct abi {
  std::string name;  // "host", or Android's name: "armeabi-v7a", "arm64-v8a", "x86", "x86_64"
  libc library;
  // qemu's user-mode emulator for it, whose -strace lists its system calls;
  // "" for the host build.
  std::string qemu;
  // Runs here only through `qemu` (otherwise natively).
  bool needs_qemu;
  // System calls of one write run with logd present, in order, as
  // `qemu -strace` names them: without and with a /dev/pmsg0. Empty for the
  // host build, whose calls are glibc's business.
  std::vector<std::string> write_calls;
  std::vector<std::string> write_calls_with_pmsg;
  // The oldest kernel the ABI's first Android release ran ("3.0"), whose
  // call table the guest imitates with seccomp; "" where none is imitated.
  std::string old_kernel;
  // One write run under that table, by number, as the guest's kernel logs
  // the calls: from the execve on, refused calls included.
  std::vector<long> old_kernel_write_calls;
};

// The build called `name`; throws std::invalid_argument for an unknown one.
const abi& find_abi(const std::string& name);

}  // namespace bootnote_test

#endif  // BOOTNOTE_TESTS_EXPECTED_H_
