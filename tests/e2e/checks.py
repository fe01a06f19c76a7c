"""What must hold after a run: the row's own expectations, and what holds
for every run (exit status 0, nothing on standard error, bytes after the
record unchanged, every entry well stamped). Each check returns failures as
text naming what differed; an empty list is a pass."""
import os
import re
from pathlib import Path

from expected import TAG

ORIGINAL = bytes((0xa5 ^ i) & 0xff for i in range(100))  # misc before a run: no zero byte


def check(case, run, workdir, uid):
    failures = []
    if run.status != 0:
        failures.append("exit status %s, not 0" % run.status)
    if run.err:
        failures.append("standard error %r, not empty" % run.err)
    if case.out == "file" and run.out != case.prints:
        failures.append("standard output %r, not %r" % (run.out, case.prints))
    if run.seconds > case.max_seconds:
        failures.append("took %.1f s (more than %s): it waited on something"
                        % (run.seconds, case.max_seconds))
    failures += _target(case, workdir)
    failures += _log(case, run, uid)
    if case.trace:
        failures += _trace(case.trace, run.trace)
    if case.judge:
        failures += case.judge(run, workdir)
    return failures


def _target(case, workdir):
    failures = []
    if case.misc:
        now = Path(os.path.join(workdir, "misc")).read_bytes()
        stored = case.stored if isinstance(case.stored, list) else [case.stored or b""]
        if not any(now == s + ORIGINAL[len(s):] for s in stored):
            failures.append("misc afterwards %r, not %s then the original bytes"
                            % (now[:32], stored))
    for name, holds in case.files.items():
        path = os.path.join(workdir, os.fsencode(name) if isinstance(name, bytes) else name)
        if holds is None and os.path.lexists(path):
            failures.append("%a was created; want none" % name)
        elif holds is not None and (not os.path.isfile(path) or Path(path).read_bytes() != holds):
            failures.append("%a holds %r, not %r" % (
                name, Path(path).read_bytes()[:32] if os.path.isfile(path) else None, holds))
    return failures


def _entries(where, got, want):
    found = [(e.priority, e.message) for e in got]
    failures = ["%s: entry tagged %r, not %r" % (where, e.tag, TAG) for e in got if e.tag != TAG]
    return failures + ([] if found == want else ["%s got %r, not %r" % (where, found, want)])


def _log(case, run, uid):
    """The entries against the row's (None: left to its judge), and every
    entry's header: the main buffer, the sender's thread, real time."""
    want, failures = case.logged, []
    if want is not None and case.logd:
        failures += _entries("logd", run.logd, want)
    elif want is not None and case.kernel_logger:
        failures += _entries("the kernel logger", run.kernel, want)
    if case.logd and case.kernel_logger:
        failures += _entries("the kernel logger (logd was there)", run.kernel, [])
    for e in run.logd:
        if e.pid is None or e.log_id != 0 or e.tid != e.pid & 0xffff or e.uid != uid:
            failures.append("logd entry %r: log id %s, thread %s, from pid %s uid %s; want 0, "
                            "the pid, %s" % (e.message, e.log_id, e.tid, e.pid, e.uid, uid))
    for e in run.logd + [r.entry for r in run.pmsg]:
        if not (run.started <= e.seconds <= run.ended and e.nanoseconds < 10 ** 9):
            failures.append("entry %r stamped %s.%09d, not within the run's %s..%s" %
                            (e.message, e.seconds, e.nanoseconds, run.started, run.ended))
    if case.pmsg:
        failures += _entries("/dev/pmsg0", [r.entry for r in run.pmsg], want or [])
        for i, r in enumerate(run.pmsg):
            twin = run.logd[i] if i < len(run.logd) else None
            if ((r.magic, r.length, r.uid, r.entry.log_id) != (ord("l"), r.size, uid, 0)
                    or r.pid != r.entry.tid
                    or (twin and (r.pid, r.entry.seconds, r.entry.nanoseconds) !=
                        (twin.pid & 0xffff, twin.seconds, twin.nanoseconds))):
                failures.append("pmsg record %d: %r; want l, its size, uid %d, log id 0, as "
                                "logd's %r" % (i, r, uid, twin))
    return failures


def _trace(patterns, lines):
    if len(lines) == len(patterns) and all(re.match(p, l) for p, l in zip(patterns, lines)):
        return []
    return ["calls on the path, as strace traced them:\n    " + "\n    ".join(lines) +
            "\n  not matching, in order:\n    " + "\n    ".join(patterns)]
