// The NDK's logging calls of <android/log.h>, implemented over the device's
// log transports so that an executable needs no liblog.so.
#include <android/log.h>
#include <errno.h>
#include <stdio.h>

#include "log_entry.h"
#include "log_transport.h"

int __android_log_write(int prio, const char* tag, const char* text) {
  int saved_errno = errno;
  int result = logwriter::send_log_entry(prio, tag, text);
  errno = saved_errno;
  return result;
}

int __android_log_vprint(int prio, const char* tag, const char* fmt, va_list ap) {
  char message[logwriter::LOG_MESSAGE_BUFFER];
  int saved_errno = errno;
  if (fmt == nullptr || vsnprintf(message, sizeof message, fmt, ap) < 0) message[0] = '\0';
  // The caller's errno is kept: formatting may set it.
  errno = saved_errno;
  return __android_log_write(prio, tag, message);
}

int __android_log_print(int prio, const char* tag, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int result = __android_log_vprint(prio, tag, fmt, ap);
  va_end(ap);
  return result;
}
