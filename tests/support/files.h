// Files for one test: a temporary directory, and whole-file reads and writes.
#ifndef BOOTNOTE_TESTS_FILES_H_
#define BOOTNOTE_TESTS_FILES_H_

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

// Reads a whole file; throws std::runtime_error when it cannot.
std::string read_file(const std::string& path);

// Replaces the file at `path` with `bytes`; throws when it cannot.
void write_file(const std::string& path, const std::string& bytes);

}  // namespace bootnote_test

#endif  // BOOTNOTE_TESTS_FILES_H_
