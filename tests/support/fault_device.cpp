#define FUSE_USE_VERSION 31
#include "fault_device.h"

#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace bootnote_test {

namespace {

constexpr char kFile[] = "/misc";

fault_device& device() { return *static_cast<fault_device*>(fuse_get_context()->private_data); }

std::string error_name(int error) {
  const char* name = strerrorname_np(error);
  return name ? name : std::to_string(error);
}

int fs_getattr(const char* path, struct stat* st, fuse_file_info*) {
  memset(st, 0, sizeof *st);
  if (strcmp(path, "/") == 0) {
    st->st_mode = S_IFDIR | 0755;
    st->st_nlink = 2;
  } else if (strcmp(path, kFile) == 0) {
    st->st_mode = S_IFREG | 0666;
    st->st_nlink = 1;
    st->st_size = static_cast<off_t>(device().image().size());
  } else {
    return -ENOENT;
  }
  return 0;
}

int fs_open(const char* path, fuse_file_info* fi) {
  if (strcmp(path, kFile) != 0) return -ENOENT;
  fi->direct_io = 1;  // one write(2), one request
  return device().on_open(fi->flags);
}

int fs_write(const char*, const char* data, size_t size, off_t offset, fuse_file_info*) {
  return device().on_write(data, size, offset);
}
int fs_read(const char*, char* data, size_t size, off_t offset, fuse_file_info*) {
  return device().on_read(data, size, offset);
}
int fs_fsync(const char*, int, fuse_file_info*) { return device().on_answer("fsync"); }
int fs_flush(const char*, fuse_file_info*) { return device().on_answer("flush"); }
int fs_truncate(const char*, off_t size, fuse_file_info*) { return device().on_truncate(size); }
int fs_release(const char*, fuse_file_info*) {
  device().on_release();
  return 0;
}

}  // namespace

fault_device::fault_device(const std::string& image, const fault_plan& plan) : plan_(plan), image_(image) {
  static fuse_operations operations = {.getattr = fs_getattr, .truncate = fs_truncate, .open = fs_open,
                                       .read = fs_read, .write = fs_write, .flush = fs_flush,
                                       .release = fs_release, .fsync = fs_fsync};
  // Any user of the sandbox may open it; the file system alone decides.
  const char* argv[] = {"bootnote-fault", "-o", "allow_other"};
  fuse_args args = FUSE_ARGS_INIT(3, const_cast<char**>(argv));
  fuse_ = fuse_new(&args, &operations, sizeof operations, this);
  fuse_opt_free_args(&args);  // parsing may have copied them
  if (fuse_ == nullptr || fuse_mount(fuse_, mount_point_.path().c_str()) != 0) {
    if (fuse_ != nullptr) fuse_destroy(fuse_);
    throw std::runtime_error("cannot mount the fault device on " + mount_point_.path() + " (is /dev/fuse there?)");
  }
  server_ = std::thread([this] { fuse_loop(fuse_); });
}

fault_device::~fault_device() {
  fuse_exit(fuse_);
  fuse_unmount(fuse_);  // ends the loop's read of /dev/fuse
  server_.join();
  fuse_destroy(fuse_);
}

void fault_device::set_up(sandbox_setup& setup) {
  setup.bwrap_args.insert(setup.bwrap_args.end(), {"--bind", mount_point_.path(), "/dev/block/by-name"});
}

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
