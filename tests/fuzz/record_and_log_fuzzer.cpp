// Input: command / tag / message, split at the first two 0xff bytes. Checks
// that the record holds exactly the command's first bytes, and that a log
// entry is well formed, within its cap, and carries what it was given.
#include <android/log.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "boot_command_record.h"
#include "log_entry.h"
#include "log_reader.h"

namespace {

void check(bool ok) {
  if (!ok) abort();
}

void check_record(const std::string& command) {
  boot_command_record record = make_boot_command_record(command.c_str());
  size_t kept = strnlen(command.c_str(), BOOT_COMMAND_SIZE);
  check(memcmp(record.bytes, command.data(), kept) == 0);
  for (size_t i = kept; i < BOOT_COMMAND_SIZE; ++i) check(record.bytes[i] == 0);
  char text[BOOT_COMMAND_SIZE + 1];
  boot_command_text(record, text);
  check(strlen(text) == kept);
}

void check_entry(const std::string& tag, const std::string& message, bool logd) {
  logwriter::log_entry entry;
  if (logd) {
    logwriter::make_logd_entry(entry, 6, tag.c_str(), message.c_str(), 77, 1, 2);
  } else {
    logwriter::make_kernel_entry(entry, 6, tag.c_str(), message.c_str());
  }
  std::string bytes;
  for (int i = 0; i < entry.part_count; ++i)
    bytes.append(static_cast<const char*>(entry.parts[i].iov_base), entry.parts[i].iov_len);
  bootnote_test::log_record record;
  std::vector<bootnote_test::log_record> records;
  std::string error;
  if (logd) {
    check(bytes.size() <= logwriter::LOGD_HEADER_SIZE + logwriter::LOG_PAYLOAD_MAX);
    check(bootnote_test::parse_logd_datagram(bytes, record, error));
  } else {
    check(bytes.size() <= logwriter::LOG_PAYLOAD_MAX);
    check(bootnote_test::parse_kernel_log(bytes, records, error) && records.size() == 1);
    record = records[0];
  }
  check(record.priority == 6);
  check(std::string(tag.c_str()).compare(0, record.tag.size(), record.tag) == 0);
  check(std::string(message.c_str()).compare(0, record.message.size(), record.message) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t first = input.find('\xff');
  size_t second = first == std::string::npos ? first : input.find('\xff', first + 1);
  std::string command = input.substr(0, first);
  std::string tag = first == std::string::npos ? "" : input.substr(first + 1, second - first - 1);
  std::string message = second == std::string::npos ? "" : input.substr(second + 1);

  check_record(command);
  check_entry(tag, message, true);
  check_entry(tag, message, false);
  // Formatting through the public call: the message is data, never a format.
  __android_log_print(ANDROID_LOG_INFO, tag.c_str(), "%s", message.c_str());
  __android_log_print(ANDROID_LOG_INFO, "bootnote", "Writeing boot coommand \"%s\" from partition \"%s\"\n",
                      command.c_str(), message.c_str());
  return 0;
}
