// main() of the test programs that need nothing but their tests.
#include "test_main.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  return bootnote_test::run_all_tests();
}
