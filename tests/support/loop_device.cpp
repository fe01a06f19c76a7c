#include "loop_device.h"

#include <stdio.h>

#include <filesystem>
#include <stdexcept>

#include "process.h"

namespace bootnote_test {

loop_device::loop_device(const std::string& image, bool read_only, const std::string& node, const std::string& link)
    : node_(node), link_(link) {
  std::vector<std::string> attach = {"losetup", "--find", "--show"};
  if (read_only) attach.push_back("--read-only");
  attach.push_back(image);
  path_ = output_of(attach);
}

loop_device::~loop_device() {
  try {
    output_of({"losetup", "--detach", path_});
  } catch (const std::exception& e) {
    fprintf(stderr, "could not detach %s: %s\n", path_.c_str(), e.what());
  }
}

void loop_device::set_up(sandbox_setup& setup) {
  setup.bwrap_args.insert(setup.bwrap_args.end(), {"--dev-bind", path_, node_});
  if (!link_.empty()) {
    std::string dir = std::filesystem::path(link_).parent_path().string();
    setup.bwrap_args.insert(setup.bwrap_args.end(), {"--dir", dir, "--symlink", node_, link_});
  }
}

}  // namespace bootnote_test
