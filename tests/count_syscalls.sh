#!/bin/sh
# Lists the system calls of one run of an ARM program under qemu-arm, in the
# test sandbox with a logd socket, in a fresh directory holding "misc" (100
# bytes) and "record" (14 bytes, for dd). Prints their names in order; fails
# unless they are exactly EXPECTED (names separated by blanks); with EXPECTED
# "-" never fails.
#   count_syscalls.sh SANDBOX_LOGCAT [--pmsg] EXPECTED|- PROGRAM [ARG...]
# --pmsg: with a stand-in for pstore at /dev/pmsg0.
set -eu
sandbox_logcat=$1
shift
pmsg=
if [ "$1" = --pmsg ]; then pmsg=--pmsg; shift; fi
expected=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c 100 /dev/urandom > "$work/misc"
printf 'boot-recovery\0' > "$work/record"
cd "$work"
calls=$("$sandbox_logcat" $pmsg -- qemu-arm -strace "$@" 2>&1 |
  sed -nE 's/^[0-9]+ ([a-z_0-9]+)\(.*/\1/p' | tr '\n' ' ' | sed 's/ $//')
count=$(echo "$calls" | wc -w)
echo "$count calls: $calls"
if [ "$count" -eq 0 ]; then
  echo "FAIL: no system call seen: is qemu-arm -strace output readable? $*" >&2
  exit 1
fi
if [ "$expected" != - ] && [ "$calls" != "$expected" ]; then
  echo "FAIL: expected $(echo "$expected" | wc -w) calls: $expected" >&2
  exit 1
fi
