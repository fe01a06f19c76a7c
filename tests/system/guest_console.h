// What a guest reported on its console, taken apart: guest_init.sh prints
// raw facts, one a line, and judges nothing.
#ifndef BOOTNOTE_TESTS_GUEST_CONSOLE_H_
#define BOOTNOTE_TESTS_GUEST_CONSOLE_H_

#include <map>
#include <string>
#include <vector>

namespace bootnote_test {

// One log entry the guest's helper received and decoded.
struct guest_logged {
  std::string transport, log_id, tid, seconds;
  int priority = -1;
  std::string tag, message;
  std::string malformed;  // the raw bytes of an entry that could not be taken apart
};

// One case's run.
struct case_report {
  bool ran = false;
  int status = -1;
  std::string pid, out, err;
  std::vector<guest_logged> log;
  bool misc_read = false;
  std::string misc;  // misc's first 32 bytes afterwards
  bool calls_logged = false;
  std::vector<long> calls;  // as the kernel logged them, by number
};

// The whole boot, for one ABI.
struct guest_report {
  bool done = false;                         // the guest reached its end
  std::map<std::string, std::string> paths;  // the disks' misc paths, by disk name
  long phone_misc_sector = -1;               // where misc starts on the phone disk
  std::vector<std::string> bases;            // load addresses of two runs
  std::map<std::string, case_report> cases;  // by case name
};

// Reads the lines of `console` that concern `abi`.
guest_report read_console(const std::string& console, const std::string& abi);

// Bytes as lower-case hex, and back; "-" stands for no bytes.
std::string hex(const std::string& bytes);
std::string unhex(const std::string& text);

}  // namespace bootnote_test

#endif  // BOOTNOTE_TESTS_GUEST_CONSOLE_H_
