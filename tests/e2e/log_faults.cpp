// Faults around the tool's output and log: standard output closed, full or
// unread; logd missing, full, late, refusing, restarting or gone; the kernel
// logger; pstore's copy. The record is written whatever the log does, and
// the log never gets what is not the tool's.
#include <errno.h>

#include "case_model.h"

namespace bootnote_test {

namespace {

// A write of "boot-recovery" to "misc" amid `log`, written out by `out`.
e2e_case writing_amid(const std::string& name, const log_world& log, stdout_mode out = stdout_mode::pipe) {
  return {.name = name, .operands = {"misc", "boot-recovery"}, .log = log, .out = out,
          .after = begins_with(kRecoveryRecord), .logged = {info(writing("boot-recovery", "misc"))}};
}
e2e_case logging_nothing(e2e_case c) {
  c.logged.clear();
  return c;
}

// A write to the held FIFO: its first entry is logged before the write
// waits; the second, the failure, after the FIFO is let go.
e2e_case failing_on_fifo(const std::string& name, const log_world& log, std::vector<entry> logged) {
  return {.name = name, .world = target::held_fifo, .operands = {"fifo", "boot-recovery"}, .log = log,
          .logged = std::move(logged)};
}

}  // namespace

std::vector<e2e_case> log_fault_cases() {
  const entry writing_fifo = info(writing("boot-recovery", "fifo"));
  const entry fifo_failed = error(write_failed("fifo", because(EPIPE)));
  return {
      writing_amid("stdout_closed", logd(), stdout_mode::closed),
      {.name = "stdout_closed_kernel_logger", .operands = {"misc"}, .log = kernel_logger_only(),
       .out = stdout_mode::closed, .after = begins_with(kErasedRecord), .logged = {info(erasing("misc"))}},
      writing_amid("stdout_on_dev_full", logd(), stdout_mode::dev_full),
      writing_amid("stdout_reader_gone", logd(), stdout_mode::reader_gone),
      logging_nothing(writing_amid("no_log_at_all", no_log())),
      logging_nothing(writing_amid("logd_queue_full", logd(logd_mode::queue_full))),
      logging_nothing(writing_amid("kernel_logger_unopenable", unopenable_kernel_logger_only())),
      writing_amid("logd_read_20_ms_late", logd(logd_mode::late_reader)),
      logging_nothing(writing_amid("logd_refuses_with_kernel_logger_there", logd_and_kernel_logger(logd_mode::refusing))),
      writing_amid("logd_and_kernel_logger_both_there", logd_and_kernel_logger()),
      writing_amid("pmsg_copy_without_logd", with_pmsg(no_log())),
      {.name = "pmsg_copy_beside_logd", .operands = {"/dev/full", "boot-recovery"}, .log = with_pmsg(logd()),
       .logged = {info(writing("boot-recovery", "/dev/full")), error(write_failed("/dev/full", because(ENOSPC)))}},
      failing_on_fifo("logd_restarts_between_entries", logd(logd_mode::restarting), {writing_fifo, fifo_failed}),
      // logd's socket gone after the first entry: the second is dropped, not
      // sent to the kernel logger. (That no later entry falls back either is
      // log_transport.logd_gone's: the tool logs two entries at most.)
      failing_on_fifo("logd_gone_after_first_entry_with_kernel_logger_there",
                      logd_and_kernel_logger(logd_mode::vanishing), {writing_fifo}),
  };
}

}  // namespace bootnote_test
