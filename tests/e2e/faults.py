"""Faults around the tool (suite "Faults", counted in the fault figures):
storage that fails one call, injected by strace at the system-call boundary
and read back from strace's trace of the calls on the path; output that
cannot be written; a log that is missing, full, refusing, restarting or
gone. Nothing may be lost: the record is exact or the failure is logged,
and bytes after the record never change."""
import errno
import re

from cases import CLOSE, FSYNC, OPEN, WRITE, WRITING, Case, error, full_failed, info
from expected import ERASED_RECORD, RECOVERY_RECORD, erasing, reason, write_failed, writing

# The file-type question asked after a refused sync, as each C library and
# architecture makes it.
FSTAT_CALL = "(newfstatat|statx|fstat64|fstat)"


def injected(call, result):
    return r"%s\(.*\) = %s \(INJECTED\)$" % (call, result)


def three_busy_sends(run, workdir):
    """The entry was refused three times (EAGAIN), then sent."""
    busy = [line for line in run.trace if re.match(injected("writev", "-1 EAGAIN .*"), line)]
    return [] if len(busy) == 3 and re.match(r"writev\(.*\) = \d+$", run.trace[3]) else [
        "sends to logd, as strace traced them: %a; want 3 refused (EAGAIN), then sent"
        % run.trace[:4]]


def storage(libc):
    def fault(name, inject, trace, stored=RECOVERY_RECORD, fails=None, path="misc", **more):
        failure = [error(write_failed(path, reason(libc, fails)))] if fails else []
        # Which call asks the file type is how, not what: untraced but where answered.
        untraced = [] if "fstat" in inject else ["trace=!%%stat"]
        return Case(name, [path, "boot-recovery"],
                    strace=untraced + ["inject=" + i for i in inject.split()],
                    trace=trace, stored=stored,
                    logged=[info(writing("boot-recovery", path))] + failure, **more)
    return [
        fault("write_interrupted_once", "write:error=EINTR:when=1",
              [OPEN, injected("write", "-1 EINTR .*"), WRITE, FSYNC, CLOSE]),
        # strace's retval= skips the call itself: the retry's bytes, the
        # rest of the record, land at offset 0.
        fault("write_returns_5_then_the_rest_is_written", "write:retval=5:when=1",
              [OPEN, injected("write", "5"), r'write\(\d+, "recovery\\0", 9\) = 9$', FSYNC, CLOSE],
              stored=b"recovery\0"),
        fault("write_fails_EIO", "write:error=EIO", [OPEN, injected("write", "-1 EIO .*"), CLOSE],
              stored=None, fails=errno.EIO),
        fault("write_takes_nothing", "write:retval=0", [OPEN, injected("write", "0"), CLOSE],
              stored=None, fails=errno.EIO),
        # A real short write: files may grow to 5 bytes, so the second write
        # fails (EFBIG; SIGXFSZ ignored, as a shell's trap leaves it). Output
        # to /dev/full: a kept file would be cut at 5 bytes too.
        fault("error_after_a_partial_write", "", [OPEN, r'write\(.*, 14\) = 5$',
                                                  r"write\(.*, 9\) = -1 EFBIG .*", CLOSE],
              stored=b"boot-", fails=errno.EFBIG, prefix=["prlimit", "--fsize=5"],
              prelude=["trap '' XFSZ"], out="full"),
        fault("fsync_fails_EIO", "fsync:error=EIO",
              [OPEN, WRITE, injected("fsync", "-1 EIO .*"), CLOSE], fails=errno.EIO),
        fault("fsync_interrupted_once", "fsync:error=EINTR:when=1",
              [OPEN, WRITE, injected("fsync", "-1 EINTR .*"), FSYNC, CLOSE]),
        # A file that holds data and refuses the sync (ext4 aborted after an
        # error answers EROFS) may lose the record: a failure. A character
        # device has nothing to lose: no failure.
        fault("fsync_refused_EROFS_on_a_file", "fsync:error=EROFS",
              [OPEN, WRITE, injected("fsync", "-1 EROFS .*"), CLOSE], fails=errno.EROFS),
        fault("fsync_refused_EROFS_on_a_character_device", "fsync:error=EROFS",
              [r'openat\(AT_FDCWD, "/dev/zero", .*\) = \d+$', WRITE,
               injected("fsync", "-1 EROFS .*"), CLOSE],
              stored=None, path="/dev/zero"),
        # What the file is cannot be told: taken as a file that holds data.
        fault("fsync_refused_and_the_file_type_unknown", "fsync:error=EINVAL %fstat:error=EIO",
              [OPEN, WRITE, injected("fsync", "-1 EINVAL .*"), injected(FSTAT_CALL, "-1 EIO .*"),
               CLOSE], fails=errno.EINVAL),
        fault("close_fails_EIO", "close:error=EIO",
              [OPEN, WRITE, FSYNC, injected("close", "-1 EIO .*")], fails=errno.EIO),
        fault("close_interrupted", "close:error=EINTR",
              [OPEN, WRITE, FSYNC, injected("close", "-1 EINTR .*")]),
    ]


def output_and_log(libc):
    def amid(name, **world):
        return Case(name, ["misc", "boot-recovery"],
                    **{"stored": RECOVERY_RECORD, "logged": [WRITING], **world})
    full = ["/dev/full", "boot-recovery"]
    # The open of /dev/full waits a second, so that logd changes between the
    # run's two entries (logd.Logd fails the run if the second came first).
    between_entries = dict(strace=["inject=openat:delay_enter=1000000"],
                           traced_path="/dev/full",
                           trace=[r'openat\(AT_FDCWD, "/dev/full", .*\) = \d+ \(DELAYED\)$',
                                  r"write\(.*\) = -1 ENOSPC .*", CLOSE])
    return [
        # The log's descriptors stay off 0..2: output flushed at exit never
        # lands in the log.
        amid("stdout_closed", out="closed"),
        Case("stdout_closed_kernel_logger", ["misc"], logd=None, kernel_logger=True, out="closed",
             stored=ERASED_RECORD, logged=[info(erasing("misc"))]),
        amid("stdout_closed_pmsg_only", logd=None, pmsg=True, out="closed"),
        amid("stdout_on_dev_full", out="full"),
        amid("stdout_reader_gone", out="gone"),  # SIGPIPE ignored: the exit status stays 0
        amid("logd_queue_full", logd="queue_full", logged=[], max_seconds=3),
        amid("logd_busy_for_three_sends",
             strace=["trace=writev", "inject=writev:error=EAGAIN:when=1..3"],
             traced_path="*", judge=three_busy_sends),
        amid("logd_refuses_kernel_logger_there", logd="refusing", kernel_logger=True, logged=[]),
        Case("logd_restarts_between_entries", full, logd="restarting",
             logged=full_failed(libc), **between_entries),
        Case("logd_gone_after_first_entry_kernel_logger_there", full, logd="vanishing",
             kernel_logger=True, logged=full_failed(libc)[:1], **between_entries),
    ]
