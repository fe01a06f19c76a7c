#!/usr/bin/python3
"""Runs the end-to-end cases against one build of the shipped binary,
unchanged, each in a sandbox of its own (world.py), and reports every case:

  run.py --binary PATH --abi ABI [--exec-prefix "WORD..."] [PATTERN...]

ABI: host, armeabi-v7a, arm64-v8a, x86 or x86_64; it says which qemu runs
the binary and which C library words its errors. PATTERN: shell patterns on
"Suite.name"; a selection of nothing fails. Under CI=true a case that cannot
run here fails instead of being skipped."""
import argparse
import fnmatch
import os
import re
import shutil
import sys
import tempfile

sys.dont_write_bytecode = True  # no __pycache__ in the source tree

import cases
import checks
import faults
import logd
import world

QEMU = {
    "host": None,
    "armeabi-v7a": "qemu-arm",
    "arm64-v8a": "qemu-aarch64",
    "x86": "qemu-i386",
    "x86_64": None,
}


def command_line(case, options, workdir):
    """The run's argv: setpriv, strace, the row's prefix (inside strace, so
    that prlimit leaves strace's own trace alone), qemu, the exec prefix,
    the binary, the operands."""
    binary = options.binary
    if case.as_nobody:  # the build tree may lie where uid 65534 cannot reach
        binary = shutil.copy(binary, os.path.join(workdir, "bootnote"))
    argv = list(case.prefix) + ([QEMU[options.abi]] if QEMU[options.abi] else [])
    argv += options.exec_prefix.split() + [binary] + list(case.operands)
    if case.strace is not None:
        path = case.operands[0] if case.traced_path is None else case.traced_path
        # LeakSanitizer cannot run under ptrace: a sanitizer build's traced
        # runs go without it.
        argv = (["strace", "-f", "--quiet=all", "-o", workdir + "/.dev/trace",
                 "-E", "ASAN_OPTIONS=detect_leaks=0"]
                + (["-P", path] if path != "*" else [])
                + [w for option in case.strace for w in ("-e", option)] + argv)
    if case.as_nobody:
        argv = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] + argv
    return argv


def run_case(case, options):
    """Runs one row; returns its failures, or raises Skip."""
    if case.as_nobody and os.geteuid() != 0:
        raise Skip("needs root, to run as another user")
    workdir, fake = tempfile.mkdtemp(prefix="bootnote-e2e-"), None
    try:
        os.chmod(workdir, 0o755)  # so that only misc's own mode can refuse
        if case.misc:
            with open(workdir + "/misc", "wb") as f:
                f.write(checks.ORIGINAL)
            os.chmod(workdir + "/misc", 0o600 if case.as_nobody else 0o644)
        fake = logd.Logd(case.logd, workdir + "/.dev/socket") if case.logd else None
        got = world.run(command_line(case, options, workdir), workdir, workdir + "/.dev", logd=fake,
                        kernel_logger=case.kernel_logger, pmsg=case.pmsg, out=case.out,
                        prelude=case.prelude)
        if case.strace is not None:
            with open(workdir + "/.dev/trace") as trace:
                # "PID call(...)   = result": the pid and the padding cut,
                # signals ("--- SIGXFSZ ...") left out.
                calls = [line.split(" ", 1)[1].strip() for line in trace]
                got.trace = [re.sub(r"\) +=", ") =", c) for c in calls if not c.startswith("---")]
        uid = 65534 if case.as_nobody else os.geteuid()
        return checks.check(case, got, workdir, uid)
    except Exception as failure:  # the harness's own trouble fails the case, not the run
        return ["%s: %s" % (type(failure).__name__, failure)]
    finally:
        if fake:
            fake.close()
        shutil.rmtree(workdir)


class Skip(Exception):
    pass


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--binary", required=True)
    parser.add_argument("--abi", required=True, choices=sorted(QEMU))
    parser.add_argument("--exec-prefix", default="",
                        help="words before the binary, e.g. valgrind -q")
    parser.add_argument("patterns", nargs="*", default=["*"])
    options = parser.parse_args()
    options.binary = os.path.abspath(options.binary)
    if not os.access(options.binary, os.X_OK):
        sys.exit("run.py: %s is not built" % options.binary)
    libc = "glibc" if options.abi == "host" else "musl"
    # A row's suite is its file's.
    table = [("Cases", c) for c in cases.behaviour(libc)] + \
        [("Faults", c) for c in faults.storage(libc) + faults.output_and_log(libc)]
    every = [suite + "." + c.name for suite, c in table]
    names = dict(zip(every, table))
    if len(names) < len(table):  # one would hide the other
        sys.exit("run.py: want each case named once; twice: %s"
                 % " ".join(sorted({n for n in every if every.count(n) > 1})))
    for pattern in options.patterns:
        if not fnmatch.filter(names, pattern):
            sys.exit("run.py: no case matches %s" % pattern)
    selected = [row for name, row in names.items()
                if any(fnmatch.fnmatchcase(name, p) for p in options.patterns)]
    ci = os.environ.get("CI") == "true"
    tally = {"passed": 0, "failed": 0, "skipped": 0}
    fault_tally = dict(tally)
    for suite, case in selected:
        try:
            failures = run_case(case, options)
            outcome = "failed" if failures else "passed"
        except Skip as why:
            failures, outcome = (([str(why) + " (CI=true: not skipped)"], "failed") if ci
                                 else ([], "skipped"))
            print("SKIP %s.%s: %s" % (suite, case.name, why))
        if outcome != "skipped":
            print("%s %s.%s" % ("FAIL" if failures else "PASS", suite, case.name))
        for failure in failures:
            print("  " + failure.replace("\n", "\n  "))
        tally[outcome] += 1
        if suite == "Faults":
            fault_tally[outcome] += 1
    print("%(passed)d passed, %(failed)d failed, %(skipped)d skipped" % tally)
    faulted = sum(fault_tally.values())
    if faulted:
        print("fault injection: %d faults injected, %d ran with nothing lost, %d skipped" %
              (faulted, fault_tally["passed"], fault_tally["skipped"]))
    sys.exit(1 if tally["failed"] else 0)


if __name__ == "__main__":
    main()
