#include "boot_command_record.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string bytes_of(const boot_command_record& record) {
  return std::string(reinterpret_cast<const char*>(record.bytes), BOOT_COMMAND_SIZE);
}

TEST(MakeBootCommandRecord, CopiesUpToFourteenBytesThenZeroFills) {
  const std::string z(1, '\0');
  struct {
    const char* name;
    const char* command;
    std::string expected;
  } cases[] = {
      {"absent", nullptr, std::string(14, '\0')},
      {"empty", "", std::string(14, '\0')},
      {"1 byte", "x", "x" + std::string(13, '\0')},
      {"13 bytes", "boot-recovery", "boot-recovery" + z},
      {"14 bytes", "bootonce-bootl", "bootonce-bootl"},
      {"20 bytes", "boot-recovery-wipe12", "boot-recovery-"},
      {"bytes >= 0x80", "\xff\x80\xc3\xa9-\x01\x7f",
       "\xff\x80\xc3\xa9-\x01\x7f" + std::string(7, '\0')},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(bytes_of(make_boot_command_record(c.command)), c.expected) << c.name;
  }
}

TEST(BootCommandText, IsTerminatedEvenWhenTheRecordIsFull) {
  struct {
    const char* command;
    const char* expected;
  } cases[] = {
      {"", ""},
      {"boot-recovery", "boot-recovery"},
      {"boot-recovery-wipe12", "boot-recovery-"},
  };
  for (const auto& c : cases) {
    char text[BOOT_COMMAND_SIZE + 1];
    memset(text, 'Z', sizeof text);
    boot_command_text(make_boot_command_record(c.command), text);
    EXPECT_STREQ(text, c.expected) << c.command;
  }
}

}  // namespace
