#include "expect.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "files.h"

namespace bootnote_test {

void expect_contents(const contents& after, case_world& world, const std::string& workdir) {
  std::string file = workdir + "/" + after.file;
  if (after.kind == contents::file_missing) {
    EXPECT_FALSE(std::filesystem::exists(file)) << file << " was created";
  } else if (after.kind == contents::file_holds) {
    EXPECT_EQ(read_file(file), after.bytes) << file;
  } else {
    std::string expected = world.original();
    if (after.kind == contents::begins_with) expected.replace(0, after.bytes.size(), after.bytes);
    std::string now = world.target_now();
    size_t same = std::mismatch(now.begin(), now.begin() + std::min(now.size(), expected.size()), expected.begin())
                      .first - now.begin();
    EXPECT_TRUE(now == expected) << "the target after the run differs from byte " << same << " on";
  }
}

void expect_log(const std::vector<log_record>& log, const std::vector<entry>& expected) {
  ASSERT_EQ(log.size(), expected.size()) << "log entries";
  for (size_t i = 0; i < expected.size(); ++i) {
    const std::vector<std::string>& messages = expected[i].messages;
    EXPECT_EQ(log[i].priority, static_cast<int>(expected[i].level)) << "log entry " << i;
    EXPECT_EQ(log[i].tag, kTag) << "log entry " << i;
    EXPECT_TRUE(std::find(messages.begin(), messages.end(), log[i].message) != messages.end())
        << "log entry " << i << " \"" << log[i].message << "\", expected \"" << messages[0] << "\""
        << (messages.size() > 1 ? " or another of the case's" : "");
    // The line logcat prints ends with the priority, the tag and the text.
    std::string text = log[i].message.substr(0, log[i].message.find_last_not_of('\n') + 1);
    if (text.find('\n') != std::string::npos) continue;  // printed as several lines
    std::string tail = std::string(" ") + "??VDIWEF"[log[i].priority & 7] + " " + kTag + ": " + text + "\n";
    const std::string& line = log[i].threadtime;
    EXPECT_TRUE(line.size() >= tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0)
        << "log entry " << i << " as logcat prints it: " << line;
  }
}

void expect_pmsg(const sandbox_result& run, const std::vector<entry>& expected) {
  ASSERT_EQ(run.pmsg.size(), expected.size()) << "records in /dev/pmsg0";
  for (size_t i = 0; i < expected.size(); ++i) {
    const pmsg_record& record = run.pmsg[i];
    EXPECT_EQ(record.magic, 'l') << "pmsg record " << i;
    EXPECT_EQ(record.length, record.size) << "pmsg record " << i << ": length field";
    EXPECT_EQ(record.uid, geteuid()) << "pmsg record " << i;
    EXPECT_NE(record.pid, 0u) << "pmsg record " << i;
    EXPECT_EQ(record.entry.log_id, 0) << "pmsg record " << i;
    EXPECT_EQ(record.entry.priority, static_cast<int>(expected[i].level)) << "pmsg record " << i;
    EXPECT_EQ(record.entry.tag, kTag) << "pmsg record " << i;
    EXPECT_EQ(record.entry.message, expected[i].messages[0]) << "pmsg record " << i;
    if (i >= run.log.size()) continue;
    const log_record& logd = run.log[i];
    EXPECT_EQ(record.pid, logd.pid & 0xffff) << "pmsg record " << i << " against logd's credentials";
    EXPECT_EQ(record.entry.thread_id, logd.thread_id) << "pmsg record " << i;
    EXPECT_EQ(record.entry.seconds, logd.seconds) << "pmsg record " << i;
    EXPECT_EQ(record.entry.nanoseconds, logd.nanoseconds) << "pmsg record " << i;
  }
}

}  // namespace bootnote_test
