// What guest_check judges, read once in its main: the ABI, the directory
// of its disks, and what the guest reported on its console.
#ifndef BOOTNOTE_TESTS_GUEST_CHECK_H_
#define BOOTNOTE_TESTS_GUEST_CHECK_H_

#include <string>

#include "expected.h"
#include "guest_console.h"

namespace bootnote_test {

struct guest_check_input {
  const abi* build = nullptr;
  std::string disks;  // original.img, phone.img, readonly.img
  guest_report report;
};

// The input as main read it, before any test runs.
const guest_check_input& guest_input();

}  // namespace bootnote_test

#endif  // BOOTNOTE_TESTS_GUEST_CHECK_H_
