// The channels to the device's log.
#ifndef BOOTNOTE_LOGWRITER_LOG_TRANSPORT_H_
#define BOOTNOTE_LOGWRITER_LOG_TRANSPORT_H_

namespace logwriter {

// Sends one entry to the main log: to logd's socket (Android 5.0 and later)
// or, only in a process that has never reached a logd socket and finds none,
// to the kernel logger (Android 4.3 and 4.4), kept from then on. A logd that
// refuses is restarting: the entry is dropped and the next one tries again.
// A send to logd that fails for another reason than a full queue reconnects
// and sends again, once. A full logd queue is waited on for at most about
// 100 ms, once per process; after that its entries are dropped at once.
// Every entry is also copied to /dev/pmsg0 (pstore, kept over a warm reboot)
// when that opens, whatever logd did with it. Returns the bytes sent to the
// log or -errno. Changes errno.
int send_log_entry(int priority, const char* tag, const char* message);

}  // namespace logwriter

#endif  // BOOTNOTE_LOGWRITER_LOG_TRANSPORT_H_
