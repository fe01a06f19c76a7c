#!/bin/sh
# Counts the system calls of one run of an ARM program under qemu-arm, in the
# test sandbox with a logd socket, in a fresh directory holding "misc" (100
# bytes) and "record" (14 bytes). Prints the count; with MAX, fails above it.
#   count_syscalls.sh SANDBOX_LOGCAT MAX|- PROGRAM [ARG...]
set -eu
sandbox_logcat=$1 max=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c 100 /dev/urandom > "$work/misc"
printf 'boot-recovery\0' > "$work/record"
cd "$work"
count=$("$sandbox_logcat" -- qemu-arm -strace "$@" 2>&1 | grep -cE '^[0-9]+ [a-z_0-9]+\(' || true)
echo "$count"
if [ "$count" -eq 0 ]; then
  echo "FAIL: no system call seen: is qemu-arm -strace output readable? $*" >&2
  exit 1
fi
if [ "$max" != - ] && [ "$count" -gt "$max" ]; then
  echo "FAIL: $count system calls, more than $max: $*" >&2
  exit 1
fi
