// A temporary directory for one test.
#ifndef BOOTNOTE_TESTS_TEMP_DIR_H_
#define BOOTNOTE_TESTS_TEMP_DIR_H_

#include <string>

namespace bootnote_test {

// A new directory under the system's temporary directory, removed with
// everything in it on destruction.
class temp_dir {
 public:
  temp_dir();
  ~temp_dir();
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace bootnote_test

#endif  // BOOTNOTE_TESTS_TEMP_DIR_H_
