#!/usr/bin/python3
"""Judges what a guest reported for one ABI's device binary (run_guest.sh):
the cases below, which guest_init.sh runs and reports as raw facts, the
binary's mappings, and the disk images after the power cut. Prints "PASS
NAME" or "FAIL NAME: what differed (the input)" a check, then the counts.

  guest_check.py --cases                       the cases, for guest_init.sh
  guest_check.py ABI PAGE_SIZE CONSOLE DISKS   judges CONSOLE's lines for ABI,
      and DISKS/{phone,readonly}.img against DISKS/original.img
"""
import errno
import os
import pathlib
import sys
from collections import namedtuple

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.realpath(__file__)), "..", "e2e"))
from entries import logd_entry  # noqa: E402
from expected import (BANNER, ERROR, INFO, RECOVERY_RECORD, TAG, reason,  # noqa: E402
                      write_failed, writing)

# HOW: plain, old-kernel (under the ABI's oldest kernel's call table),
# refuse-fsync-ERRNO (every fsync answered ERRNO) or held (misc held open by
# another process). DISK: phone, readonly or flushfail.
# RECORD: misc's first 14 bytes afterwards (None: not judged). ERROR: errno.
Case = namedtuple("Case", "name how disk command record error")
CASES = [
    Case("write", "plain", "phone", "boot-recovery", RECOVERY_RECORD, None),
    Case("old_kernel_write", "old-kernel", "phone", "boot-oldlinux", b"boot-oldlinux\0", None),
    Case("read_only", "plain", "readonly", "boot-recovery", None, errno.EPERM),
    Case("flush_fails", "plain", "flushfail", "boot-recovery", None, errno.EIO),
    # A block device holds data: its refused sync is a failure.
    Case("fsync_refused_EROFS", "refuse-fsync-%d" % errno.EROFS, "phone", "boot-refused", None,
         errno.EROFS),
    # Last: the power is cut after it, and the phone disk must hold its record.
    Case("power_cut", "held", "phone", "boot-powercut", b"boot-powercut\0", None),
]
# Runs not all at one address: 8 random bits of 4 KiB pages (32-bit ARM, x86)
# at 16 KiB alignment leave 64 places, the fewest: all alike once in 64^7.
LOAD_RUNS = 8
# The guest's clock starts from the host's: a stamp further than this from
# the console's last write is not real time (a failed clock call leaves 0).
CLOCK_SLACK = 600


def unhex(text):
    return b"" if text == "-" else bytes.fromhex(text)


def read_console(path, abi):
    """The console's lines about `abi`: {kind: {name: words after it}}; MAP
    and ENTRY lines in lists."""
    facts = {"DISK": {}, "MAP": [], "ASLR": [], "CASE": {}, "ENTRY": {}}
    with open(path, errors="replace") as console:
        for words in (line.split() for line in console):
            if len(words) < 3 or words[1] != abi or words[0] not in facts:
                continue
            if words[0] in ("MAP", "ASLR"):
                facts[words[0]].append(words[2:])
            elif words[0] == "ENTRY":
                facts["ENTRY"].setdefault(words[2], []).extend(words[3:])
            else:
                facts[words[0]][words[2]] = words[3:]
    return facts


def judge_case(case, facts, original, now):
    """What differed in one case's run, as phrases."""
    disk, run = facts["DISK"].get(case.disk, []), facts["CASE"].get(case.name, [])
    if len(disk) != 2 or len(run) != 5:
        return ["CASE line %a or DISK line for %s %a is missing or short" % (run, case.disk, disk)]
    path, misc, pid = disk[0], int(disk[1]) * 512, int(run[1])
    wrong = [] if run[0] == "0" else ["exit status %a, want 0" % run[0]]
    if unhex(run[2]) != BANNER or run[3] != "-":
        wrong.append("stdout %r, stderr %r; want %r, none" % (unhex(run[2]), unhex(run[3]), BANNER))
    want = [(INFO, TAG, writing(case.command, path))]
    if case.error:
        want.append((ERROR, TAG, write_failed(path, reason("musl", case.error))))
    got = []
    for datagram in facts["ENTRY"].get(case.name, []):
        try:
            entry = logd_entry(unhex(datagram))
        except ValueError as fault:
            wrong.append("datagram %s: %s" % (datagram, fault))
            continue
        got.append((entry.priority, entry.tag, entry.message))
        if entry.log_id != 0 or entry.tid != pid or abs(entry.seconds - now) > CLOCK_SLACK:
            wrong.append("entry %r: log id %d, thread id %d, time %d; want 0, the pid %d, "
                         "near %d (the console's)" % (entry.message, entry.log_id, entry.tid,
                                                     entry.seconds, pid, now))
    if got != want:
        wrong.append("entries %r, want %r" % (got, want))
    if case.record and unhex(run[4]) != case.record + original[misc + 14:misc + 32]:
        wrong.append("misc's first 32 bytes %a, want %s then as before"
                     % (run[4], case.record.hex()))
    return wrong


def judge_disks(facts, disks):
    """The images: what differed after the power cut, by check."""
    original, phone, readonly = (pathlib.Path(disks, name + ".img").read_bytes()
                                 for name in ("original", "phone", "readonly"))
    misc, record = int(facts["DISK"].get("phone", ["", "0"])[1]) * 512, CASES[-1].record
    wrong = [] if misc and phone[misc:misc + 14] == record else [
        "phone.img at misc (byte %d): %s, want %s"
        % (misc, phone[misc:misc + 14].hex(), record.hex())]
    patched = phone[:misc] + original[misc:misc + 14] + phone[misc + 14:]
    if patched != original:
        at = next((i for i in range(len(original)) if patched[i:i + 1] != original[i:i + 1]),
                  len(original))
        wrong.append("phone.img: byte %d differs from original.img too (misc starts at %d)"
                     % (at, misc))
    return original, {
        "power_cut_disk": wrong,
        "read_only_disk_unchanged": [] if readonly == original
        else ["readonly.img differs from original.img"],
    }


def main(argv):
    if argv[1:] == ["--cases"]:
        for case in CASES:
            print(case.name, case.how, case.disk, case.command)
        return 0
    if len(argv) != 5:
        sys.stderr.write(__doc__)
        return 2
    abi, page_kb, console, disks = argv[1], int(argv[2]) // 1024, argv[3], argv[4]
    facts = read_console(console, abi)
    if not facts["CASE"]:
        print("FAIL %s: %s holds no case of %s\n0 passed, 1 failed" % (abi, console, abi))
        return 1
    original, disk_checks = judge_disks(facts, disks)
    now = int(os.path.getmtime(console))
    maps, aslr = facts["MAP"], facts["ASLR"]
    load = [] if (aslr == [["2", "0003"]] and len(maps) == LOAD_RUNS
                  and len(set(map(tuple, maps))) > 1) else [
        "randomize_va_space, e_type %a, want 2, 0003 (a PIE); mappings %a, want %d not all"
        " alike" % (aslr, maps, LOAD_RUNS)]
    page = [] if maps and all(m[1:] == [str(page_kb)] for m in maps) else [
        "KernelPageSize of the binary's mapping %a kB, want %d" % ([m[1:] for m in maps], page_kb)]
    checks = [(case.name, judge_case(case, facts, original, now)) for case in CASES]
    checks += [("load_address", load), ("page_size", page)] + list(disk_checks.items())
    names = [name for name, _ in checks]
    twice = sorted({name for name in names if names.count(name) > 1})  # each hides one
    if twice:
        print("FAIL %s: want each check named once; twice: %s" % (abi, " ".join(twice)))
        return 1
    for name, wrong in checks:
        print("FAIL %s/%s: %s (%s)"
              % (abi, name, "; ".join(wrong), disks if "disk" in name else console)
              if wrong else "PASS %s/%s" % (abi, name))
    failed = sum(1 for _, wrong in checks if wrong)
    print("%d passed, %d failed" % (len(checks) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
