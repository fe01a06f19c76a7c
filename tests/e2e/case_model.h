// The one shape of an end-to-end case: the world around a run of the shipped
// binary, its operands, and what must hold afterwards. A case is a row built
// with the named helpers below; tests/README.md shows how to add one.
#ifndef BOOTNOTE_TESTS_CASE_MODEL_H_
#define BOOTNOTE_TESTS_CASE_MODEL_H_

#include <optional>
#include <string>
#include <vector>

#include "expected.h"
#include "fault_device.h"
#include "logd_fake.h"
#include "process.h"

namespace bootnote_test {

// Where the first operand may point, and what is there before the run. The
// working directory always holds "misc" (100 known bytes) unless the
// target is `nothing`.
enum class target {
  regular_file,           // "misc" itself
  nothing,                // an empty working directory
  loop_device,            // a 64 KiB loop device of random bytes at kNode
  by_name_link,           // the same, reached through the link kByName
  read_only_loop_device,  // the loop device attached read-only, at kNode
  fault_device,           // storage that answers as the case's `device` plan says, at kByName
  full_tmpfs,             // "full/", a 64 KiB tmpfs filled up before the run
  held_fifo,              // "fifo", held full: the tool's write waits until it
                          // has logged an entry, then fails (EPIPE)
};
inline const std::string kNode = "/dev/block/mmcblk0p9";
// Whether `world` is a block device (or stands for one): 64 KiB of random
// bytes, and only root can set it up.
bool is_block_device(target world);
inline const std::string kByName = "/dev/block/by-name/misc";

// The log around the run: a logd (or none), the kernel logger, pstore.
struct log_world {
  std::optional<logd_mode> logd;
  bool kernel_logger = false;
  bool kernel_logger_openable = true;
  bool pmsg = false;
};
log_world logd(logd_mode mode = logd_mode::normal);
log_world kernel_logger_only();
log_world unopenable_kernel_logger_only();
log_world no_log();
log_world logd_and_kernel_logger(logd_mode mode = logd_mode::normal);
log_world with_pmsg(log_world world);

// What the target holds afterwards.
struct contents {
  enum { unchanged, begins_with, file_holds, file_missing } kind;
  std::string bytes;  // begins_with: the first bytes; file_holds: all of them
  std::string file;   // file_holds, file_missing: its name in the working directory
};
contents unchanged();
contents begins_with(const std::string& record);
contents file_holds(const std::string& file, const std::string& bytes);
contents file_missing(const std::string& file);

// One log entry a case expects: its priority, and its message, which must
// be one of `messages`.
struct entry {
  priority level;
  std::vector<std::string> messages;
};
entry info(const std::string& message);
entry error(const std::string& message);
entry error_one_of(const std::vector<std::string>& messages);

// The binary's own words for `error` (its C library's strerror).
std::string because(int error);

struct e2e_case {
  std::string name;
  target world = target::regular_file;
  std::vector<std::string> operands;
  log_world log = logd();
  // Run once on each transport (logd, the kernel logger, none) instead of
  // on `log`: only the log's checks differ.
  bool on_each_transport = false;
  stdout_mode out = stdout_mode::pipe;
  bool as_nobody = false;  // run as uid/gid 65534; "misc" is root's, mode 0600
  fault_plan device = {};  // fault_device: how it answers
  // Run under `qemu -strace`: the calls it must make, in order.
  std::vector<std::string> calls = {};

  std::string prints = kBanner;  // standard output, when it is a pipe
  contents after = unchanged();
  std::vector<entry> logged = {};
  std::vector<std::string> device_asked = {};  // fault_device: its requests, in order
};

// The tables: the suite "Cases" (the tool's behaviour), the suite "Faults"
// (faults injected around it) and the suite "Calls" (the system calls of a
// run, under qemu -strace). Made once the command line is read, as texts
// depend on the binary's C library.
std::vector<e2e_case> behaviour_cases();
std::vector<e2e_case> storage_fault_cases();
std::vector<e2e_case> log_fault_cases();
std::vector<e2e_case> call_cases();

}  // namespace bootnote_test

#endif  // BOOTNOTE_TESTS_CASE_MODEL_H_
