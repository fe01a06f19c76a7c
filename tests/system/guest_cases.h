// The cases a guest runs with one ABI's device binary, and what each must
// give. The guest runs them (guest_init.sh, which takes the list from
// `guest_check --cases`); guest_check judges what it reported.
#ifndef BOOTNOTE_TESTS_GUEST_CASES_H_
#define BOOTNOTE_TESTS_GUEST_CASES_H_

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "expected.h"

namespace bootnote_test {

enum class guest_log { logd, kernel_log };  // the transport the guest offers
enum class guest_run {
  plain,
  old_kernel,  // under the ABI's oldest kernel's call table (seccomp)
  held,        // while another process holds misc open, then the power is cut
};
enum class guest_disk { phone, readonly, flushfail, missing, none };  // missing: a path that does not exist
enum class misc_after {
  unread,     // not looked at
  record,     // the case's record, then bytes 14..31 as before
  as_before,  // all 32 bytes as before
};

struct guest_entry {
  priority level;
  std::string message;
};

struct guest_case {
  std::string name;
  guest_log log_to = guest_log::logd;
  guest_run run = guest_run::plain;
  guest_disk path = guest_disk::phone;
  std::optional<std::string> command;  // none: erase
  std::string out = kBanner;
  std::vector<guest_entry> logged;
  misc_after misc = misc_after::unread;
  std::string record;          // misc_after::record: the 14 bytes
  bool calls_checked = false;  // the calls must be the ABI's old_kernel_write_calls
};

// The cases for `build`, their messages naming the disks' paths in `paths`
// (by disk name, as the guest reported them; empty when only the list is
// wanted). Old-kernel cases only where the ABI has an old-kernel table.
std::vector<guest_case> guest_cases(const abi& build, const std::map<std::string, std::string>& paths);

// The names guest_init.sh knows the parts of a case by.
const char* name_of(guest_log log);
const char* name_of(guest_run run);
const char* name_of(guest_disk disk);

}  // namespace bootnote_test

#endif  // BOOTNOTE_TESTS_GUEST_CASES_H_
