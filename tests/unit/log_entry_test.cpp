// The entry layout, read back by the platform's own parser and formatter
// (Debian's android-liblog), as logd hands an entry to logcat.
#include "log_entry.h"

#include <log/log_read.h>
#include <log/logprint.h>
#include <stdlib.h>
#include <string.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using logwriter::log_entry;

std::string gather(const log_entry& entry) {
  std::string bytes;
  for (int i = 0; i < entry.part_count; ++i)
    bytes.append(static_cast<const char*>(entry.parts[i].iov_base), entry.parts[i].iov_len);
  return bytes;
}

struct parsed {
  int priority = -1;
  std::string tag, message, line;  // line: as `logcat -v threadtime` prints it
};

// Parses `payload` (what follows logd's header) as logd's reader entry.
bool parse_with_platform(const std::string& payload, parsed& out) {
  std::vector<unsigned char> buffer(sizeof(logger_entry) + payload.size() + 1, 0);
  logger_entry* entry = reinterpret_cast<logger_entry*>(buffer.data());
  entry->len = static_cast<uint16_t>(payload.size());
  entry->hdr_size = sizeof(logger_entry);
  entry->pid = entry->tid = 77;
  memcpy(buffer.data() + sizeof(logger_entry), payload.data(), payload.size());
  AndroidLogEntry fields = {};
  if (android_log_processLogBuffer(entry, &fields) != 0) return false;
  out.priority = fields.priority;
  out.tag.assign(fields.tag, strnlen(fields.tag, fields.tagLen));
  out.message.assign(fields.message, fields.messageLen);
  AndroidLogFormat* format = android_log_format_new();
  android_log_setPrintFormat(format, FORMAT_THREADTIME);
  char line[8192];
  size_t length = 0;
  char* text = android_log_formatLogLine(format, line, sizeof line, &fields, &length);
  android_log_format_free(format);
  if (text == nullptr) return false;
  out.line.assign(text, length);
  if (text != line) free(text);
  return true;
}

TEST(MakeLogdEntry, HeaderIsLittleEndianWithTheThreadIdCut) {
  log_entry entry;
  logwriter::make_logd_entry(entry, 6, "bootnote", "hi\n", 0x12345678, 0x01020304, 999999999);
  const std::string expected = std::string("\x00\x78\x56\x04\x03\x02\x01\xff\xc9\x9a\x3b", 11) +
                               "\x06" "bootnote" + '\0' + "hi\n" + '\0';
  EXPECT_EQ(gather(entry), expected);
}

TEST(MakeEntry, ThePlatformReadsPriorityTagAndMessageWithinTheCap) {
  const std::string long_tag(5000, 't');
  const std::string long_message(5000, 'm');
  struct {
    const char* name;
    const char* tag;
    const char* message;
    std::string expected_tag;
    std::string expected_message;
  } cases[] = {
      {"plain", "bootnote", "erase", "bootnote", "erase"},
      {"null tag", nullptr, "m", "", "m"},
      {"null message", "t", nullptr, "t", ""},
      {"message cut to the cap", "bootnote", long_message.c_str(), "bootnote",
       std::string(4068 - 3 - 8, 'm')},
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
      std::string payload = gather(entry).substr(logd ? logwriter::LOGD_HEADER_SIZE : 0);
      const char* name = logd ? "logd" : "kernel logger";
      EXPECT_LE(payload.size(), logwriter::LOG_PAYLOAD_MAX) << c.name << ", " << name;
      parsed got;
      ASSERT_TRUE(parse_with_platform(payload, got))
          << c.name << ", " << name << ": the platform rejects it";
      EXPECT_EQ(got.priority, 4) << c.name << ", " << name;
      EXPECT_EQ(got.tag, c.expected_tag) << c.name << ", " << name;
      EXPECT_EQ(got.message, c.expected_message) << c.name << ", " << name;
      if (std::string(c.name) == "plain") {
        EXPECT_TRUE(got.line.find(" I bootnote: erase\n") != std::string::npos)
            << name << ": " << got.line;
      }
    }
  }
}

}  // namespace
