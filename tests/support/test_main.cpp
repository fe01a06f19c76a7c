#include "test_main.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace bootnote_test {

bool in_ci() {
  const char* ci = getenv("CI");
  return ci != nullptr && strcmp(ci, "true") == 0;
}

int run_all_tests() {
  int status = RUN_ALL_TESTS();
  const testing::UnitTest& unit = *testing::UnitTest::GetInstance();
  if (unit.test_to_run_count() == 0) {
    fprintf(stderr, "no test selected: a filter or a case name is wrong\n");
    return 1;
  }
  std::string skipped;
  for (int i = 0; i < unit.total_test_suite_count(); ++i) {
    const testing::TestSuite& suite = *unit.GetTestSuite(i);
    for (int j = 0; j < suite.total_test_count(); ++j) {
      const testing::TestInfo& test = *suite.GetTestInfo(j);
      if (test.should_run() && test.result()->Skipped())
        skipped += std::string(" ") + suite.name() + "." + test.name();
    }
  }
  printf("%d tests ran, %d skipped%s%s\n", unit.test_to_run_count(), unit.skipped_test_count(),
         skipped.empty() ? "" : ":", skipped.c_str());
  return status;
}

}  // namespace bootnote_test
