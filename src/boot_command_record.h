// The boot command record: the fixed field at offset 0 of the misc
// partition that the device's boot software reads, and the one writer of it.
#ifndef BOOTNOTE_BOOT_COMMAND_RECORD_H_
#define BOOTNOTE_BOOT_COMMAND_RECORD_H_

#include <stddef.h>

// Size of the field in bytes. Every byte may hold a command byte: the field
// has no terminator of its own.
constexpr size_t BOOT_COMMAND_SIZE = 14;

// The field as it lies on the partition: the command's bytes, then zero
// bytes to the end. All zero means no command is set. Held by value.
struct boot_command_record {
  unsigned char bytes[BOOT_COMMAND_SIZE];
};
static_assert(sizeof(boot_command_record) == BOOT_COMMAND_SIZE,
              "the record is exactly the on-disk field");

// Returns the record holding `command`: its bytes up to its first zero byte
// or BOOT_COMMAND_SIZE bytes, whichever comes first, then zero bytes. A
// longer command is cut without notice. A null or empty command gives the
// all-zero (erased) record. The bytes are copied as they are: no character
// set is assumed.
boot_command_record make_boot_command_record(const char* command);

// Copies the command stored in `record` into `text` as a zero-terminated
// string of at most BOOT_COMMAND_SIZE bytes; a full record has no zero of
// its own, so it cannot be printed as it is.
void boot_command_text(const boot_command_record& record,
                       char (&text)[BOOT_COMMAND_SIZE + 1]);

// What became of one write of the record.
enum boot_command_write_status {
  BOOT_COMMAND_WRITTEN,      // all bytes written, synced and closed
  BOOT_COMMAND_NOT_OPENED,   // the path could not be opened; nothing written
  BOOT_COMMAND_NOT_WRITTEN,  // opened, but the write, sync or close failed
};

struct boot_command_write_result {
  boot_command_write_status status;
  int error;  // errno of the failure; 0 when written
};

// Writes the record's bytes at offset 0 of `path` (used unchanged; a
// relative path resolves against the working directory). The path is opened
// write-only and created when absent (mode 0666 less the umask); it is never
// truncated, so on a device node or an image file only the first
// BOOT_COMMAND_SIZE bytes change. The bytes are forced to storage before the
// close. A file that cannot be synced (EINVAL, EROFS) is written when it is
// a pipe, socket or character device such as /dev/null, which keep nothing
// to lose; on a regular file or a block device that refusal is a failure.
// Retries interrupted calls and completes short writes. Prints and logs
// nothing.
boot_command_write_result write_boot_command_record(
    const char* path, const boot_command_record& record);

#endif  // BOOTNOTE_BOOT_COMMAND_RECORD_H_
