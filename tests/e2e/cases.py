"""The shape of an end-to-end case, and the tool's behaviour as a table of
them: suite "Cases", every row of this file (faults.py holds suite "Faults").
A row names only what differs from the defaults; tests/README.md says how to
add one."""
import errno
from dataclasses import dataclass, field
from typing import Callable, Optional

from expected import (BANNER, ERASED_RECORD, ERROR, INFO, RECOVERY_RECORD, USAGE, USAGE_ERROR,
                      erasing, not_found, reason, write_failed, writing)


@dataclass
class Case:
    name: str
    operands: list
    logged: list = field(default_factory=list)  # [(priority, message)], in order; None: judge's
    logd: Optional[str] = "normal"  # its mode (logd.LOGD_MODES), None for no logd
    kernel_logger: bool = False     # a /dev/log/main, beside logd or alone
    pmsg: bool = False              # a /dev/pmsg0, which must get a copy of each entry
    out: str = "file"               # standard output: world.run's `out`
    prints: bytes = BANNER          # standard output, where kept
    misc: bool = True               # the working directory holds misc: 100 known bytes
    stored: object = None           # misc afterwards begins with these bytes (or one of
                                    # a list of them); None: unchanged
    files: dict = field(default_factory=dict)  # name: bytes it holds, or None: absent
    strace: Optional[list] = None   # strace -e options ("inject=..."): the run is traced
    traced_path: Optional[str] = None  # strace keeps to it (-P); None: the first operand,
                                    # "*": every call
    trace: list = field(default_factory=list)  # patterns the traced calls match, in order
    prefix: list = field(default_factory=list)  # words before the tool's command line
    prelude: list = field(default_factory=list)  # shell lines run first, in the sandbox
    as_nobody: bool = False         # run as uid 65534; misc is root's, mode 0600
    max_seconds: float = 5          # a run waits on nothing: seconds mean a hang
    judge: Optional[Callable] = None  # more checks: judge(run, workdir) -> [failure]


def info(message):
    return (INFO, message)


def error(message):
    return (ERROR, message)


# The calls on misc, as strace shows them: the one open (write-only, never
# truncating nor appending), the record, the sync, the close.
OPEN = (r'openat\(AT_FDCWD, "misc", O_WRONLY\|O_CREAT(?!.*O_(TRUNC|APPEND|RDWR))[A-Z_|]*, '
        r'0666\) = \d+$')
WRITE = r'write\(\d+, "boot-recovery\\0", 14\) = 14$'
FSYNC = r'fsync\(\d+\) = 0$'
CLOSE = r'close\(\d+\) = 0$'

WRITING = info(writing("boot-recovery", "misc"))


def full_failed(libc):
    """The entries of a write to /dev/full: the write, then its ENOSPC."""
    return [info(writing("boot-recovery", "/dev/full")),
            error(write_failed("/dev/full", reason(libc, errno.ENOSPC)))]


LONG_PATH = "x/" + "p" * 5000
ODD_PATH = 'm\n"%s%n".img'
ODD_COMMAND = b"%n%s%x\x01\x1b\xff\x80"


def cut(message):
    """The tool formats into 1024 bytes: a longer message is cut."""
    return message[:1023]


def behaviour(libc):
    return [
        Case("no_operands", [], prints=BANNER + USAGE, logged=[error(USAGE_ERROR)]),
        Case("three_operands", ["misc", "boot-recovery", "x"], prints=BANNER + USAGE,
             logged=[error(USAGE_ERROR)]),
        Case("erase", ["misc"], stored=ERASED_RECORD, logged=[info(erasing("misc"))]),
        Case("write", ["misc", "boot-recovery"], strace=[], trace=[OPEN, WRITE, FSYNC, CLOSE],
             stored=RECOVERY_RECORD, logged=[WRITING]),
        Case("write_20_bytes_cut", ["misc", "boot-recovery-wipe12"], stored=b"boot-recovery-",
             logged=[info(writing("boot-recovery-", "misc"))]),
        Case("write_with_no_log_at_all", ["misc", "boot-recovery"], logd=None,
             stored=RECOVERY_RECORD),
        Case("hyphen_operand_is_a_path", ["-h"], misc=False, files={"-h": ERASED_RECORD},
             logged=[info(erasing("-h"))]),
        Case("open_failure_logged_on_the_kernel_logger", ["no/such/misc"], logd=None,
             kernel_logger=True, misc=False, files={"no": None},
             logged=[info(erasing("no/such/misc")), error(not_found("no/such/misc"))]),
        Case("write_failure", ["/dev/full", "boot-recovery"], logged=full_failed(libc)),
        Case("no_permission", ["misc", "boot-recovery"], as_nobody=True,
             logged=[info(writing("boot-recovery", "misc")), error(not_found("misc"))]),
        Case("path_longer_than_path_max", [LONG_PATH],
             logged=[info(cut(erasing(LONG_PATH))), error(cut(not_found(LONG_PATH)))]),
        Case("path_with_newline_quotes_percent", [ODD_PATH, "boot-recovery"],
             files={ODD_PATH: RECOVERY_RECORD}, logged=[info(writing("boot-recovery", ODD_PATH))]),
        Case("command_with_formats_and_control_bytes", ["misc", ODD_COMMAND],
             stored=ODD_COMMAND + bytes(14 - len(ODD_COMMAND)),
             logged=[info(writing(ODD_COMMAND, "misc"))]),
        Case("logd_and_kernel_logger_both_there", ["misc", "boot-recovery"], kernel_logger=True,
             stored=RECOVERY_RECORD, logged=[WRITING]),
        Case("pmsg_copy_beside_logd", ["/dev/full", "boot-recovery"], pmsg=True,
             logged=full_failed(libc)),
        Case("pmsg_copy_without_logd", ["misc", "boot-recovery"], logd=None, pmsg=True,
             stored=RECOVERY_RECORD, logged=[WRITING]),
        many_writers(16),
    ]


def many_writers(count):
    """`count` runs at once on one image: the record is one of theirs, whole."""
    commands = [b"cmd-%d-abcdefghijk" % i for i in range(10, 10 + count)]
    script = 'for i in $(seq 10 %d); do "$@" misc cmd-$i-abcdefghijk & done; wait' % (9 + count)

    # Each entry is one writer's. Not all need arrive: logd's queue holds
    # fewer than `count` entries, and a writer waits on it 100 ms at most;
    # but the first finds the queue empty.
    def judge(run, workdir):
        got = sorted(e.message for e in run.logd)
        want = {writing(c[:14], "misc") for c in commands}
        return [] if got and set(got) <= want and len(set(got)) == len(got) else [
            "entries %r: want 1 to %d of %r, none twice" % (got, count, sorted(want))]
    return Case("many_writers_leave_one_whole_record", [], prints=BANNER * count, logged=None,
                stored=[c[:14] for c in commands], prefix=["sh", "-c", script, "sh"], judge=judge)
