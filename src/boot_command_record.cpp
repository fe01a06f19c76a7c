#include "boot_command_record.h"

#include <string.h>

boot_command_record make_boot_command_record(const char* command) {
  boot_command_record record = {};
  if (command != nullptr) {
    memcpy(record.bytes, command, strnlen(command, BOOT_COMMAND_SIZE));
  }
  return record;
}

void boot_command_text(const boot_command_record& record,
                       char (&text)[BOOT_COMMAND_SIZE + 1]) {
  memcpy(text, record.bytes, BOOT_COMMAND_SIZE);
  text[BOOT_COMMAND_SIZE] = '\0';
}
