#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "boot_command_record.h"

namespace {

// Writes all `size` bytes, retrying interrupted calls and continuing after
// short ones. Returns 0 or -errno.
int write_fully(int fd, const unsigned char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -errno;
    }
    // A write that takes nothing would otherwise be retried for ever.
    if (n == 0) return -EIO;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return 0;
}

// True unless `fd` is known to be neither a regular file nor a block device.
// Asked only after fsync refused, so a normal run makes no extra call; a
// file that cannot be asked counts as holding data, so that a doubt is
// reported rather than a loss passed over.
bool holds_data(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0) return true;
  return S_ISREG(st.st_mode) || S_ISBLK(st.st_mode);
}

// Forces written data to storage. Returns 0 or -errno. Pipes, sockets and
// character devices such as /dev/null cannot be synced (EINVAL, EROFS) and
// have nothing to lose on a reboot, so that is not a failure there. On a
// regular file or a block device it is: ext4, once aborted after an error,
// answers EROFS without writing the data.
int sync_file(int fd) {
  while (fsync(fd) != 0) {
    int error = errno;
    if (error == EINTR) continue;
    if ((error == EINVAL || error == EROFS) && !holds_data(fd)) return 0;
    return -error;
  }
  return 0;
}

}  // namespace

boot_command_write_result write_boot_command_record(
    const char* path, const boot_command_record& record) {
  // No O_TRUNC: the record is only the start of the partition or its image.
  // openat, not open: musl's open follows O_CLOEXEC with an fcntl for
  // kernels older than 2.6.23, one system call more on every run.
  int fd = openat(AT_FDCWD, path, O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) return {BOOT_COMMAND_NOT_OPENED, errno};

  int result = write_fully(fd, record.bytes, BOOT_COMMAND_SIZE);
  if (result == 0) result = sync_file(fd);
  // On Linux the descriptor is released even when close fails, and EINTR
  // comes only after the data was synced: neither is a lost write then.
  if (close(fd) != 0 && result == 0 && errno != EINTR) result = -errno;

  if (result != 0) return {BOOT_COMMAND_NOT_WRITTEN, -result};
  return {BOOT_COMMAND_WRITTEN, 0};
}
