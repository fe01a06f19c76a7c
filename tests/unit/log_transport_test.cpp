// Runs inside a bwrap sandbox with a private /dev (see tests/CMakeLists.txt):
// each suite creates the transport it tests before the first log call, as
// the writer picks its transport once per process.
#include <android/log.h>
#include <errno.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "files.h"
#include "log_decode.h"
#include "logd_fake.h"

namespace {

using bootnote_test::log_record;

// Logs the same entries on every transport and checks errno survives.
void log_sample() {
  errno = EBADF;
  __android_log_print(ANDROID_LOG_INFO, "bootnote", "write \"%s\" to %s\n", "boot-recovery", "/dev/misc");
  EXPECT_EQ(errno, EBADF) << "errno changed by __android_log_print";
  __android_log_write(ANDROID_LOG_ERROR, nullptr, "no tag");
  __android_log_print(ANDROID_LOG_WARN, "long", "%s", std::string(3000, 'x').c_str());
  EXPECT_EQ(errno, EBADF) << "errno changed by a log call";
}

void expect_sample(const std::vector<log_record>& log) {
  ASSERT_EQ(log.size(), 3u);
  struct {
    int priority;
    std::string tag;
    std::string message;
  } expected[] = {
      {ANDROID_LOG_INFO, "bootnote", "write \"boot-recovery\" to /dev/misc\n"},
      {ANDROID_LOG_ERROR, "", "no tag"},
      {ANDROID_LOG_WARN, "long", std::string(1023, 'x')},  // cut by the 1024-byte buffer
  };
  for (size_t i = 0; i < log.size(); ++i) {
    EXPECT_EQ(log[i].priority, expected[i].priority) << "entry " << i;
    EXPECT_EQ(log[i].tag, expected[i].tag) << "entry " << i;
    EXPECT_EQ(log[i].message, expected[i].message) << "entry " << i;
  }
}

TEST(LogdTransport, SendsOneDatagramPerEntryWithAHeader) {
  bootnote_test::logd_fake logd(bootnote_test::logd_mode::normal, "/dev/socket/logdw");
  time_t before = time(nullptr);
  log_sample();
  std::vector<log_record> log = logd.drain();
  expect_sample(log);
  for (const log_record& record : log) {
    EXPECT_EQ(record.log_id, 0) << record.message;
    EXPECT_EQ(record.thread_id, static_cast<uint32_t>(gettid()) & 0xffff) << record.message;
    EXPECT_GE(record.seconds, static_cast<uint32_t>(before)) << record.message;
    EXPECT_LE(record.seconds, static_cast<uint32_t>(time(nullptr))) << record.message;
    EXPECT_LT(record.nanoseconds, 1000000000u) << record.message;
  }
}

TEST(KernelLoggerTransport, WritesEntriesToDevLogMain) {
  mkdir("/dev/log", 0755);
  std::ofstream{"/dev/log/main"};
  log_sample();
  std::vector<log_record> log;
  std::string error;
  ASSERT_TRUE(bootnote_test::parse_kernel_log(bootnote_test::read_file("/dev/log/main"), log, error)) << error;
  expect_sample(log);
}

// Once logd was there, a socket that is gone is logd restarting: entries are
// dropped until it is back, never sent to a kernel logger nobody reads.
TEST(LogdGoneTransport, NeverFallsBackToTheKernelLogger) {
  mkdir("/dev/log", 0755);
  std::ofstream{"/dev/log/main"};
  bootnote_test::logd_fake logd(bootnote_test::logd_mode::vanishing, "/dev/socket/logdw");
  __android_log_write(ANDROID_LOG_INFO, "bootnote", "first");
  ASSERT_EQ(logd.drain().size(), 1u) << "the first entry reaches logd, which then goes";
  __android_log_write(ANDROID_LOG_INFO, "bootnote", "second");
  __android_log_write(ANDROID_LOG_INFO, "bootnote", "third");
  EXPECT_EQ(bootnote_test::read_file("/dev/log/main"), "") << "entries went to the kernel logger";
}

TEST(NoTransport, DropsEntriesAndReportsIt) {
  errno = EBADF;
  EXPECT_LT(__android_log_print(ANDROID_LOG_INFO, "bootnote", "lost"), 0);
  EXPECT_EQ(errno, EBADF);
}

}  // namespace
