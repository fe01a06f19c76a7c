#!/usr/bin/python3
"""Runs a command in the test sandbox, in the working directory, with a
logd socket in its private /dev, and shows what it printed and logged, each
entry as `logcat -v threadtime` shows it; exits with the command's status:

  logcat.py [--] PROGRAM [ARG...]"""
import os
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree

import logd
import world


def threadtime(entry):
    stamp = time.strftime("%m-%d %H:%M:%S", time.localtime(entry.seconds))
    text = (entry.tag + b": " + entry.message.rstrip(b"\n")).decode(errors="backslashreplace")
    return "%s.%03d %5d %5d %s %s" % (stamp, entry.nanoseconds // 1000000, entry.pid, entry.tid,
                                       "??VDIWEF"[entry.priority & 7], text)


def main(command):
    if not command:
        sys.exit(__doc__.split("\n\n")[-1])
    with tempfile.TemporaryDirectory(prefix="bootnote-logcat-") as dev:
        run = world.run(command, os.getcwd(), dev, logd=logd.Logd("normal", dev + "/socket"))
    sys.stdout.buffer.write(b"--- standard output ---\n" + run.out +
                            (b"--- standard error ---\n" + run.err if run.err else b""))
    sys.stdout.flush()
    print("--- log, as logcat shows it ---")
    for entry in run.logd:
        print(threadtime(entry))
    print("--- exit status %d ---" % run.status)
    sys.exit(run.status)


if __name__ == "__main__":
    main(sys.argv[2:] if sys.argv[1:2] == ["--"] else sys.argv[1:])
