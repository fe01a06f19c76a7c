// bootnote: sets or erases the boot command at the start of the misc
// partition.
//
//   bootnote <path of misc>                  erase the command
//   bootnote <path of misc> <boot command>   set the command
//
// Standard output carries only the banner and the usage text; progress and
// failures go to the Android log. The exit status is 0 on every path: callers
// learn of a failure from the log.
#include <android/log.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>

#include "boot_command_record.h"

namespace {

constexpr char PROGRAM_NAME[] = "bootnote";

// Room for the banner and the usage text, so that standard output is written
// once, when the process exits.
char stdout_buffer[512];

void print_banner() {
  puts("\n----------------------------------------------");
  printf("-------- %s by bootnote.example --------\n", PROGRAM_NAME);
  puts("----------------------------------------------");
}

void report_usage() {
  printf("\nUsage : %s <path of misc> <boot command>\n\n", PROGRAM_NAME);
  __android_log_print(ANDROID_LOG_ERROR, PROGRAM_NAME,
                      "ERROR : Usage : %s <path of misc> <boot command>\n",
                      PROGRAM_NAME);
}

// No default: a new status must be handled here before it compiles clean.
void report_write(const char* path, const boot_command_write_result& result) {
  switch (result.status) {
    case BOOT_COMMAND_WRITTEN:
      break;
    case BOOT_COMMAND_NOT_OPENED:
      __android_log_print(ANDROID_LOG_ERROR, PROGRAM_NAME,
                          "ERROR : partition not found \"%s\"\n", path);
      break;
    case BOOT_COMMAND_NOT_WRITTEN:
      __android_log_print(ANDROID_LOG_ERROR, PROGRAM_NAME,
                          "ERROR : write failed on partition \"%s\" : %s\n", path,
                          strerror(result.error));
      break;
  }
}

}  // namespace

int main(int argc, char** argv) {
  boot_command_record record = {};
  // Output is flushed at exit, after the record is written and logged. A
  // reader of stdout that has gone must not turn that into a death by
  // SIGPIPE: the exit status is 0 on every path.
  signal(SIGPIPE, SIG_IGN);
  setvbuf(stdout, stdout_buffer, _IOFBF, sizeof stdout_buffer);
  print_banner();

  if (argc != 2 && argc != 3) {
    report_usage();
    return 0;
  }

  const char* path = argv[1];
  // "Eraseing", "Writeing" and "coommand" are the tool's own spelling, kept
  // as they are: scripts on the device match these lines.
  if (argc == 2) {
    __android_log_print(ANDROID_LOG_INFO, PROGRAM_NAME,
                        "Eraseing boot coommand to partition %s\n", path);
  } else {
    record = make_boot_command_record(argv[2]);
    char command[BOOT_COMMAND_SIZE + 1];
    boot_command_text(record, command);
    __android_log_print(ANDROID_LOG_INFO, PROGRAM_NAME,
                        "Writeing boot coommand \"%s\" from partition \"%s\"\n",
                        command, path);
  }
  report_write(path, write_boot_command_record(path, record));
  return 0;
}
