// A real block device for a run: a loop device over an image file.
#ifndef BOOTNOTE_TESTS_LOOP_DEVICE_H_
#define BOOTNOTE_TESTS_LOOP_DEVICE_H_

#include <string>

#include "world.h"

namespace bootnote_test {

// A loop device over `image` (read-only if asked), shown in the sandbox at
// `node`, and also through the symbolic link `link` unless it is empty, as
// ueventd's by-name links are. Detached on destruction, after which the
// image file holds what reached the device.
class loop_device : public world_piece {
 public:
  // Throws std::runtime_error when losetup cannot attach it.
  loop_device(const std::string& image, bool read_only, const std::string& node, const std::string& link = "");
  ~loop_device() override;
  loop_device(const loop_device&) = delete;
  loop_device& operator=(const loop_device&) = delete;

  void set_up(sandbox_setup& setup) override;

 private:
  std::string path_;
  std::string node_;
  std::string link_;
};

}  // namespace bootnote_test

#endif  // BOOTNOTE_TESTS_LOOP_DEVICE_H_
