#include "case_world.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <stdexcept>

#include "files.h"
#include "log_files.h"

namespace bootnote_test {

namespace {

// 100 bytes standing for a partition image: none of them zero.
std::string known_image() {
  std::string bytes(100, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(0xa5 ^ i);
  return bytes;
}

std::string random_bytes(size_t size) {
  std::mt19937 generator(static_cast<unsigned>(size));
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator());
  return bytes;
}

// Whether process `pid` waits in write(2) now, as /proc shows.
bool in_write(uint32_t pid) {
  std::ifstream current("/proc/" + std::to_string(pid) + "/syscall");
  std::string number;
  return current >> number && number == std::to_string(SYS_write);
}

// A FIFO held open for reading and writing with its buffer full: a writer's
// open succeeds and its write waits. Let go once the writer waits there and
// has logged an entry; with no reader left, the write then fails (EPIPE).
class held_fifo : public world_piece {
 public:
  explicit held_fifo(const std::string& path) {
    if (mkfifo(path.c_str(), 0600) != 0 || (fd_ = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)) < 0)
      throw std::runtime_error("FIFO " + path + ": " + strerror(errno));
    static const char kFill[4096] = {};
    while (write(fd_, kFill, sizeof kFill) > 0) {
    }
  }
  ~held_fifo() override { let_go(); }
  void set_up(sandbox_setup&) override {}
  int wake_after_ms() const override { return fd_ >= 0 ? 1 : -1; }
  void follow(run_state& run) override {
    if (fd_ >= 0 && !run.log.empty() && in_write(run.log.front().pid)) let_go();
  }

 private:
  void let_go() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  int fd_ = -1;
};

// "full/": a 64 KiB tmpfs in the sandbox, filled before the tool starts.
class full_tmpfs : public world_piece {
 public:
  explicit full_tmpfs(const std::string& workdir) : dir_(workdir + "/full") { mkdir(dir_.c_str(), 0755); }
  void set_up(sandbox_setup& setup) override {
    setup.bwrap_args.insert(setup.bwrap_args.end(), {"--size", "65536", "--tmpfs", dir_});
    setup.prelude.push_back("cat /dev/zero > full/filler 2>/dev/null");
  }

 private:
  std::string dir_;
};

}  // namespace

case_world::case_world(const e2e_case& c, const log_world& log, const std::string& workdir)
    : image_path_(workdir + "/misc") {
  if (log.logd) log_pieces_.push_back(std::make_unique<logd_fake>(*log.logd));
  if (log.kernel_logger) log_pieces_.push_back(std::make_unique<kernel_logger>(log.kernel_logger_openable));
  if (log.pmsg) log_pieces_.push_back(std::make_unique<pmsg>());

  original_ = is_block_device(c.world) ? random_bytes(64 * 1024) : known_image();
  if (c.world != target::nothing) write_file(image_path_, original_);
  if (c.as_nobody) chmod(image_path_.c_str(), 0600);
  switch (c.world) {
    case target::regular_file:
    case target::nothing:
      break;
    case target::loop_device:
    case target::read_only_loop_device:
      loop_ = std::make_unique<loop_device>(image_path_, c.world == target::read_only_loop_device, kNode);
      break;
    case target::by_name_link:
      loop_ = std::make_unique<loop_device>(image_path_, false, kNode, kByName);
      break;
    case target::fault_device:
      target_piece_ = std::make_unique<fault_device>(original_, c.device);
      device_ = static_cast<fault_device*>(target_piece_.get());
      break;
    case target::full_tmpfs:
      target_piece_ = std::make_unique<full_tmpfs>(workdir);
      break;
    case target::held_fifo:
      target_piece_ = std::make_unique<held_fifo>(workdir + "/fifo");
      break;
  }
}

std::vector<world_piece*> case_world::pieces() const {
  std::vector<world_piece*> pieces;
  for (const auto& piece : log_pieces_) pieces.push_back(piece.get());
  if (target_piece_) pieces.push_back(target_piece_.get());
  if (loop_) pieces.push_back(loop_.get());
  return pieces;
}

std::string case_world::target_now() {
  loop_.reset();
  return device_ ? device_->image() : read_file(image_path_);
}

}  // namespace bootnote_test
