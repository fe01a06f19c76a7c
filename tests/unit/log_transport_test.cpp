// What the log writer chooses that one run of the tool cannot show, each in
// a bwrap sandbox with a private /dev of its own (tests/CMakeLists.txt): the
// writer picks its transport once per process.
#include <android/log.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <fcntl.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

// The tests make /dev/log/main and /dev/socket/logdw: only in the sandbox
// that tests/CMakeLists.txt runs them in (it makes /dev/sandbox), never in
// this machine's /dev. Without it, no test runs and the binary fails (a
// fatal failure here would only mark the tests skipped).
class PrivateDev : public ::testing::Environment {
  void SetUp() override {
    if (access("/dev/sandbox", F_OK) == 0) return;
    fputs("not in the sandbox with a private /dev: no test touches this machine's /dev\n", stderr);
    exit(1);
  }
};
[[maybe_unused]] ::testing::Environment* const private_dev =
    ::testing::AddGlobalTestEnvironment(new PrivateDev);

// Once logd was there, a socket that is gone is logd restarting: entries are
// dropped until it is back, never sent to a kernel logger nobody reads; the
// tool itself logs two entries at most, too few to show the third.
TEST(LogdGone, LaterEntriesNeverFallBackToTheKernelLogger) {
  mkdir("/dev/log", 0755);
  int kernel_log = open("/dev/log/main", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  ASSERT_GE(kernel_log, 0) << "/dev/log/main: " << strerror(errno);
  mkdir("/dev/socket", 0755);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  strcpy(address.sun_path, "/dev/socket/logdw");
  int logd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(bind(logd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0)
      << strerror(errno);

  errno = EBADF;
  __android_log_write(ANDROID_LOG_INFO, "bootnote", "first");
  EXPECT_EQ(errno, EBADF) << "errno changed by a send to logd";
  char datagram[256];
  EXPECT_GT(recv(logd, datagram, sizeof datagram, MSG_DONTWAIT), 0)
      << "the first entry reaches logd";
  close(logd);
  unlink(address.sun_path);
  for (const char* text : {"second", "third", "fourth"})
    __android_log_write(ANDROID_LOG_INFO, "bootnote", text);
  EXPECT_EQ(errno, EBADF) << "errno changed by a send to a logd that went";
  EXPECT_EQ(lseek(kernel_log, 0, SEEK_END), 0) << "entries went to the kernel logger";
}

TEST(NoTransport, DropsEntriesAndKeepsErrno) {
  errno = EBADF;
  EXPECT_LT(__android_log_print(ANDROID_LOG_INFO, "bootnote", "lost %s", "entry"), 0);
  EXPECT_EQ(errno, EBADF) << "errno changed by __android_log_print";
}

}  // namespace
