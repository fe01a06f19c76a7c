#include "temp_dir.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <stdexcept>

namespace bootnote_test {

temp_dir::temp_dir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "bootnote-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error(std::string("mkdtemp: ") + strerror(errno));
  path_ = pattern;
}

temp_dir::~temp_dir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace bootnote_test
