// Input: command / tag / message, split at the first two 0xff bytes. Checks
// the record and the entry layouts against their definitions, computed here
// byte by byte without the product's helpers.
#include <android/log.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "boot_command_record.h"
#include "log_entry.h"

namespace {

void check(bool ok) {
  if (!ok) abort();
}

// The record as the on-disk format defines it, byte by byte: the command's
// bytes up to its first zero or the 14th byte, then zero bytes.
std::string expected_record(const std::string& command) {
  std::string bytes(14, '\0');
  for (size_t i = 0; i < 14 && i < command.size() && command[i] != '\0'; ++i) bytes[i] = command[i];
  return bytes;
}

void check_record(const std::string& command) {
  boot_command_record record = make_boot_command_record(command.c_str());
  std::string expected = expected_record(command);
  check(std::string(reinterpret_cast<const char*>(record.bytes), sizeof record.bytes) == expected);
  char text[BOOT_COMMAND_SIZE + 1];
  boot_command_text(record, text);
  check(std::string(text) == expected.c_str());
}

void put_le(std::string& bytes, uint32_t value, int size) {
  for (int i = 0; i < size; ++i) bytes += static_cast<char>(value >> (8 * i));
}

// An entry as the transports define it: [log id 0, thread id u16, seconds
// u32, nanoseconds u32,] priority, tag NUL, message NUL; the strings end at
// their first zero, and the message, then the tag, is cut so that the
// payload holds at most 4068 bytes.
std::string expected_entry(const std::string& tag, const std::string& message, bool logd) {
  std::string t = tag.c_str(), m = message.c_str();
  if (t.size() > 4065) t.resize(4065);
  if (m.size() > 4065 - t.size()) m.resize(4065 - t.size());
  std::string bytes;
  if (logd) {
    bytes += '\0';
    put_le(bytes, 77, 2);
    put_le(bytes, 1, 4);
    put_le(bytes, 2, 4);
  }
  bytes += '\6';
  bytes += t;
  bytes += '\0';
  bytes += m;
  bytes += '\0';
  return bytes;
}

std::string gathered(const logwriter::log_entry& entry) {
  std::string bytes;
  for (int i = 0; i < entry.part_count; ++i)
    bytes.append(static_cast<const char*>(entry.parts[i].iov_base), entry.parts[i].iov_len);
  return bytes;
}

void check_entry(const std::string& tag, const std::string& message, bool logd) {
  logwriter::log_entry entry;
  if (logd) {
    logwriter::make_logd_entry(entry, 6, tag.c_str(), message.c_str(), 77, 1, 2);
  } else {
    logwriter::make_kernel_entry(entry, 6, tag.c_str(), message.c_str());
  }
  std::string expected = expected_entry(tag, message, logd);
  check(gathered(entry) == expected);
  if (!logd) return;
  // pstore's copy: 'l', u16 length of it all, u16 uid, u16 pid, then the same.
  logwriter::add_pmsg_header(entry, 0x12345, 0x6789a);
  std::string copy = "l";
  put_le(copy, static_cast<uint32_t>(7 + expected.size()), 2);
  put_le(copy, 0x2345, 2);
  put_le(copy, 0x789a, 2);
  check(gathered(entry) == copy + expected);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (access("/dev/sandbox", F_OK) == 0) return 0;
  fputs("not in the sandbox with a private /dev\n", stderr);
  exit(1);
}

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
  __android_log_print(ANDROID_LOG_INFO, "bootnote", "command \"%s\" to \"%s\"\n",
                      command.c_str(), message.c_str());
  return 0;
}
