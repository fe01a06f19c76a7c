#!/usr/bin/python3
"""Runs a command in the test sandbox and shows what it printed and what it
logged, each entry as `logcat -v threadtime` shows it:

  logcat.py [--kernel-logger] [--pmsg] -- PROGRAM [ARG...]

The sandbox's /dev holds a logd socket, or with --kernel-logger a
/dev/log/main instead; --pmsg adds a stand-in for pstore at /dev/pmsg0 and
shows what reached it. Runs in the working directory; exits with the
command's exit status."""
import argparse
import os
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree

import logd
import world

LEVELS = "??VDIWEF"


def threadtime(entry):
    stamp = time.strftime("%m-%d %H:%M:%S", time.localtime(entry.seconds or 0))
    message = entry.message.decode(errors="backslashreplace").rstrip("\n")
    return "%s.%03d %5s %5s %s %s: %s" % (stamp, (entry.nanoseconds or 0) // 1000000, entry.pid or "-",
                                          entry.tid or "-", LEVELS[entry.priority & 7],
                                          entry.tag.decode(errors="backslashreplace"), message)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--kernel-logger", action="store_true")
    parser.add_argument("--pmsg", action="store_true")
    parser.add_argument("command", nargs="+")
    options = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="bootnote-logcat-") as dev:
        fake = None if options.kernel_logger else logd.Logd("normal", dev + "/socket")
        run = world.run(options.command, os.getcwd(), dev, logd=fake, kernel_logger=options.kernel_logger,
                        pmsg=options.pmsg)
    out = sys.stdout.buffer
    out.write(b"--- standard output ---\n" + run.out)
    if run.err:
        out.write(b"--- standard error ---\n" + run.err)
    out.flush()
    print("--- log (%s), as logcat shows it ---" % ("kernel logger" if options.kernel_logger else "logd"))
    for entry in run.kernel if options.kernel_logger else run.logd:
        print(threadtime(entry))
    if options.pmsg:
        print("--- /dev/pmsg0: %d records ---" % len(run.pmsg))
        for record in run.pmsg:
            print("%c uid %d pid %d: %s" % (record.magic, record.uid, record.pid, threadtime(record.entry)))
    print("--- exit status %d ---" % run.status)
    sys.exit(run.status)


if __name__ == "__main__":
    main()
