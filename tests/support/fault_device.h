// Storage that fails on purpose: a FUSE file system, served from a thread of
// the test, holding one file "misc". Each write(2) on it reaches the file
// system as one request (direct I/O), so its programmed answer is the call's
// result. Every request on the file is recorded. In the sandbox it is
// /dev/block/by-name/misc, where a phone keeps its partition links.
#ifndef BOOTNOTE_TESTS_FAULT_DEVICE_H_
#define BOOTNOTE_TESTS_FAULT_DEVICE_H_

#include <stddef.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "files.h"
#include "world.h"

struct fuse;

namespace bootnote_test {

// How the file answers. The default answers every request in full.
struct fault_plan {
  size_t max_write = 0;           // most bytes one write takes; 0: all it is given
  std::vector<int> write_errors;  // errno for the n-th write request; 0: answer normally
  bool writes_take_nothing = false;
  int fsync_error = 0;
  int flush_error = 0;            // the close's answer
  bool refuse_read_opens = false; // opens for reading fail with EACCES
};

class fault_device : public world_piece {
 public:
  // Mounts a new file system in a temporary directory whose file "misc"
  // holds `image`; throws std::runtime_error when it cannot.
  fault_device(const std::string& image, const fault_plan& plan);
  // Unmounts and removes the directory.
  ~fault_device() override;
  fault_device(const fault_device&) = delete;
  fault_device& operator=(const fault_device&) = delete;

  void set_up(sandbox_setup& setup) override;
  // The file's bytes now.
  std::string image();
  // The requests made on the file, once every opened file has been released
  // (the kernel sends the release after close returns), or after 2 s:
  // "open O_WRONLY", "write OFFSET SIZE = TAKEN|ERRNO", "fsync[ = ERRNO]",
  // "flush[ = ERRNO]", "release", "read OFFSET SIZE", "truncate SIZE".
  std::vector<std::string> requests();

  // The file system's side; public for the callbacks only.
  int on_open(int flags);
  int on_write(const char* data, size_t size, long offset);
  int on_read(char* data, size_t size, long offset);
  int on_answer(const char* request);  // "fsync" or "flush"
  int on_truncate(long size);
  void on_release();

 private:
  void record(const std::string& request);

  fault_plan plan_;
  temp_dir mount_point_;
  std::mutex mutex_;
  std::condition_variable released_;
  std::string image_;
  std::vector<std::string> requests_;
  size_t writes_ = 0;
  int open_files_ = 0;
  struct fuse* fuse_ = nullptr;
  std::thread server_;
};

}  // namespace bootnote_test

#endif  // BOOTNOTE_TESTS_FAULT_DEVICE_H_
