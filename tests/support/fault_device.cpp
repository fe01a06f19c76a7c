// The fault device as a FUSE file system: its mount, and the kernel's
// requests handed to the device's answers (fault_device_answers.cpp).
#define FUSE_USE_VERSION 31
#include "fault_device.h"

#include <errno.h>
#include <fuse.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

namespace bootnote_test {

namespace {

constexpr char kFile[] = "/misc";

fault_device& device() { return *static_cast<fault_device*>(fuse_get_context()->private_data); }

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

}  // namespace bootnote_test
