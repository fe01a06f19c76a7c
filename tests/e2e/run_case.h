// Running one row of the case tables.
#ifndef BOOTNOTE_TESTS_RUN_CASE_H_
#define BOOTNOTE_TESTS_RUN_CASE_H_

#include "case_model.h"

namespace bootnote_test {

// Runs `c` amid `log` (its own log world, or one transport of the three when
// it runs on each) and checks it, as the body of the current test.
void run_case(const e2e_case& c, const log_world& log);

}  // namespace bootnote_test

#endif  // BOOTNOTE_TESTS_RUN_CASE_H_
