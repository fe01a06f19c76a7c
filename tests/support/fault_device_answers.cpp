// How the fault device answers each request, as its plan says, and what it
// records of them.
#include <errno.h>
#include <fcntl.h>
#include <string.h>

#include <algorithm>
#include <chrono>

#include "fault_device.h"

namespace bootnote_test {

namespace {

std::string error_name(int error) {
  const char* name = strerrorname_np(error);
  return name ? name : std::to_string(error);
}

}  // namespace

std::string fault_device::image() {
  std::lock_guard<std::mutex> lock(mutex_);
  return image_;
}

std::vector<std::string> fault_device::requests() {
  std::unique_lock<std::mutex> lock(mutex_);
  released_.wait_for(lock, std::chrono::seconds(2), [this] { return open_files_ == 0; });
  return requests_;
}

void fault_device::record(const std::string& request) { requests_.push_back(request); }

int fault_device::on_open(int flags) {
  std::lock_guard<std::mutex> lock(mutex_);
  int mode = flags & O_ACCMODE;
  std::string request = mode == O_WRONLY ? "open O_WRONLY" : mode == O_RDWR ? "open O_RDWR" : "open O_RDONLY";
  if (flags & O_TRUNC) request += "|O_TRUNC";
  if (flags & O_APPEND) request += "|O_APPEND";
  if (plan_.refuse_read_opens && mode != O_WRONLY) {
    record(request + " = EACCES");
    return -EACCES;
  }
  record(request);
  ++open_files_;
  return 0;
}

int fault_device::on_write(const char* data, size_t size, long offset) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string request = "write " + std::to_string(offset) + " " + std::to_string(size) + " = ";
  size_t n = writes_++;
  int error = n < plan_.write_errors.size() ? plan_.write_errors[n] : 0;
  if (error != 0) {
    record(request + error_name(error));
    return -error;
  }
  size_t taken = plan_.writes_take_nothing ? 0 : plan_.max_write ? std::min(size, plan_.max_write) : size;
  size_t at = static_cast<size_t>(offset);
  if (at + taken > image_.size()) image_.resize(at + taken);
  image_.replace(at, taken, data, taken);
  record(request + std::to_string(taken));
  return static_cast<int>(taken);
}

int fault_device::on_read(char* data, size_t size, long offset) {
  std::lock_guard<std::mutex> lock(mutex_);
  record("read " + std::to_string(offset) + " " + std::to_string(size));
  size_t at = std::min(static_cast<size_t>(offset), image_.size());
  size_t n = std::min(size, image_.size() - at);
  memcpy(data, image_.data() + at, n);
  return static_cast<int>(n);
}

int fault_device::on_answer(const char* request) {
  std::lock_guard<std::mutex> lock(mutex_);
  int error = strcmp(request, "fsync") == 0 ? plan_.fsync_error : plan_.flush_error;
  record(error != 0 ? std::string(request) + " = " + error_name(error) : request);
  return -error;
}

int fault_device::on_truncate(long size) {
  std::lock_guard<std::mutex> lock(mutex_);
  record("truncate " + std::to_string(size));
  image_.resize(static_cast<size_t>(size));
  return 0;
}

void fault_device::on_release() {
  std::lock_guard<std::mutex> lock(mutex_);
  record("release");
  --open_files_;
  released_.notify_all();
}

}  // namespace bootnote_test
