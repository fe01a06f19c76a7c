#include "log_entry.h"

#include <gtest/gtest.h>

#include <string>

#include "log_decode.h"

namespace {

using bootnote_test::log_record;
using logwriter::log_entry;

std::string gather(const log_entry& entry) { return bootnote_test::gather(entry.parts, entry.part_count); }

TEST(MakeLogdEntry, HeaderIsLittleEndianWithTheThreadIdCut) {
  log_entry entry;
  logwriter::make_logd_entry(entry, 6, "bootnote", "hi\n", 0x12345678, 0x01020304, 999999999);
  const std::string expected =
      std::string("\x00\x78\x56\x04\x03\x02\x01\xff\xc9\x9a\x3b", 11) + "\x06" "bootnote" + '\0' + "hi\n" + '\0';
  EXPECT_EQ(gather(entry), expected);
}

TEST(MakeEntry, PayloadIsPriorityTagMessageWithinTheCap) {
  const std::string long_tag(5000, 't');
  const std::string long_message(5000, 'm');
  struct {
    const char* name;
    const char* tag;
    const char* message;
    std::string expected_tag;
    std::string expected_message;
  } cases[] = {
      {"plain", "bootnote", "erase\n", "bootnote", "erase\n"},
      {"null tag", nullptr, "m", "", "m"},
      {"null message", "t", nullptr, "t", ""},
      {"message cut to the cap", "bootnote", long_message.c_str(), "bootnote", std::string(4068 - 3 - 8, 'm')},
      {"tag cut to the cap", long_tag.c_str(), "m", std::string(4065, 't'), ""},
  };
  for (const auto& c : cases) {
    for (bool logd : {true, false}) {
      log_entry entry;
      if (logd) {
        logwriter::make_logd_entry(entry, 4, c.tag, c.message, 1, 2, 3);
      } else {
        logwriter::make_kernel_entry(entry, 4, c.tag, c.message);
      }
      std::string bytes = gather(entry);
      std::string payload = logd ? bytes.substr(11) : bytes;
      EXPECT_LE(payload.size(), logwriter::LOG_PAYLOAD_MAX) << c.name;
      log_record record;
      std::string error;
      std::vector<log_record> records;
      ASSERT_TRUE(bootnote_test::parse_kernel_log(payload, records, error)) << c.name << ": " << error;
      ASSERT_EQ(records.size(), 1u) << c.name;
      EXPECT_EQ(records[0].priority, 4) << c.name;
      EXPECT_EQ(records[0].tag, c.expected_tag) << c.name;
      EXPECT_EQ(records[0].message, c.expected_message) << c.name;
    }
  }
}

}  // namespace
