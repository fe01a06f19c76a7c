// The channel to the device's log, found once per process.
#ifndef BOOTNOTE_LOGWRITER_LOG_TRANSPORT_H_
#define BOOTNOTE_LOGWRITER_LOG_TRANSPORT_H_

namespace logwriter {

// Sends one entry to the main log. On first use picks logd's socket
// (Android 5.0 and later) or, when it cannot be connected, the kernel logger
// (Android 4.3 and 4.4); with neither, every entry is dropped. Returns the
// bytes sent or -errno. A logd queue that stays full is waited on for at most
// about 100 ms, once per process; after that its entries are dropped at once.
// Changes errno.
int send_log_entry(int priority, const char* tag, const char* message);

}  // namespace logwriter

#endif  // BOOTNOTE_LOGWRITER_LOG_TRANSPORT_H_
