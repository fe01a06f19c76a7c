// The world of one case, built in its working directory: the target and the
// log's pieces, in the order the sandbox must let them follow the run (the
// log first, so a target piece sees the entries already received).
#ifndef BOOTNOTE_TESTS_CASE_WORLD_H_
#define BOOTNOTE_TESTS_CASE_WORLD_H_

#include <memory>
#include <string>
#include <vector>

#include "case_model.h"
#include "loop_device.h"
#include "world.h"

namespace bootnote_test {

class case_world {
 public:
  // Builds what `c` asks, with `log` around it, in `workdir`. Throws when a
  // piece cannot be set up.
  case_world(const e2e_case& c, const log_world& log, const std::string& workdir);

  std::vector<world_piece*> pieces() const;
  // The target's bytes before the run.
  const std::string& original() const { return original_; }
  // The target's bytes now; lets go of a loop device first, so that its
  // image file holds what reached the device.
  std::string target_now();
  // The fault device, or null.
  fault_device* device() const { return device_; }

 private:
  std::vector<std::unique_ptr<world_piece>> log_pieces_;
  std::unique_ptr<world_piece> target_piece_;
  std::unique_ptr<loop_device> loop_;
  fault_device* device_ = nullptr;
  std::string image_path_;
  std::string original_;
};

}  // namespace bootnote_test

#endif  // BOOTNOTE_TESTS_CASE_WORLD_H_
