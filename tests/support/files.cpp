#include "files.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace bootnote_test {

temp_dir::temp_dir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "bootnote-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error(std::string("mkdtemp: ") + strerror(errno));
  path_ = pattern;
}

namespace {

// Whether anything is mounted at `path` or below it (a fault device still
// mounted, say): removing through a mount would reach what it holds.
bool has_mount_under(const std::string& path) {
  std::ifstream mounts("/proc/self/mountinfo");
  std::string line;
  while (std::getline(mounts, line)) {
    std::istringstream fields(line);
    std::string id, parent, device, root, mount_point;
    fields >> id >> parent >> device >> root >> mount_point;
    if (mount_point == path || mount_point.rfind(path + "/", 0) == 0) return true;
  }
  return false;
}

}  // namespace

temp_dir::~temp_dir() {
  if (has_mount_under(path_)) {
    fprintf(stderr, "left %s in place: something is still mounted under it\n", path_.c_str());
    return;
  }
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!(out << bytes) || !out.flush()) throw std::runtime_error("cannot write " + path);
}

}  // namespace bootnote_test
