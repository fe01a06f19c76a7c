#include "platform_log.h"

#include <log/log_read.h>
#include <log/logprint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

namespace bootnote_test {

bool parse_with_platform(log_record& record, std::string& error) {
  // logd's reader entry: a logger_entry header, then the payload.
  std::vector<unsigned char> buffer(sizeof(logger_entry) + record.payload.size() + 1, 0);
  logger_entry* entry = reinterpret_cast<logger_entry*>(buffer.data());
  entry->len = static_cast<uint16_t>(record.payload.size());
  entry->hdr_size = sizeof(logger_entry);
  entry->pid = static_cast<int32_t>(record.pid);
  entry->tid = record.thread_id;
  entry->sec = record.seconds;
  entry->nsec = record.nanoseconds;
  entry->lid = record.log_id < 0 ? 0u : static_cast<uint32_t>(record.log_id);  // main
  entry->uid = record.uid;
  memcpy(buffer.data() + sizeof(logger_entry), record.payload.data(), record.payload.size());

  AndroidLogEntry parsed = {};
  if (android_log_processLogBuffer(entry, &parsed) != 0) return error = "the platform's parser rejects it", false;
  record.priority = parsed.priority;
  record.tag = std::string(parsed.tag, strnlen(parsed.tag, parsed.tagLen));  // tagLen counts its NUL
  record.message = std::string(parsed.message, parsed.messageLen);

  AndroidLogFormat* format = android_log_format_new();
  android_log_setPrintFormat(format, FORMAT_THREADTIME);
  char line[8192];
  size_t length = 0;
  char* text = android_log_formatLogLine(format, line, sizeof line, &parsed, &length);
  android_log_format_free(format);
  if (text == nullptr) return error = "the platform's formatter rejects it", false;
  record.threadtime.assign(text, length);
  if (text != line) free(text);
  return true;
}

}  // namespace bootnote_test
