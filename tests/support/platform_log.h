// The platform's own reading of log entries: Debian's android-liblog holds
// the code logcat uses to parse and print what logd hands its readers. Test
// code only: the product never links it.
#ifndef BOOTNOTE_TESTS_PLATFORM_LOG_H_
#define BOOTNOTE_TESTS_PLATFORM_LOG_H_

#include <string>

#include "log_decode.h"

namespace bootnote_test {

// Wraps `record` (its payload and header fields) into the entry logd hands
// to readers and has the platform's parser read it: sets priority, tag and
// message from what it finds, and threadtime to the line `logcat -v
// threadtime` prints. Returns false, naming the fault, when the platform
// rejects the entry.
bool parse_with_platform(log_record& record, std::string& error);

}  // namespace bootnote_test

#endif  // BOOTNOTE_TESTS_PLATFORM_LOG_H_
