// How every GoogleTest program of the tests runs, so that no check passes by
// not running: a program that selects no test fails, and a test that cannot
// run on this machine is skipped (counted and named at the end) or, under
// CI=true, fails.
#ifndef BOOTNOTE_TESTS_TEST_MAIN_H_
#define BOOTNOTE_TESTS_TEST_MAIN_H_

#include <gtest/gtest.h>

namespace bootnote_test {

// Whether the environment says this is CI (CI=true).
bool in_ci();

// Runs the selected tests; returns non-zero when any failed or none was
// selected, and prints how many were skipped, and which.
int run_all_tests();

}  // namespace bootnote_test

// Ends the current test unless `condition` holds: a skip saying `why`, or
// under CI=true a failure, since CI must run every case.
#define BOOTNOTE_REQUIRE(condition, why)                                   \
  if (condition) {                                                         \
  } else if (bootnote_test::in_ci()) {                                     \
    FAIL() << (why) << " (CI=true: a case that cannot run fails)";         \
  } else                                                                   \
    GTEST_SKIP() << (why)

#endif  // BOOTNOTE_TESTS_TEST_MAIN_H_
