# How each figure of bench/run.sh is measured; sourced by it, which sets
# $work (the scratch directory, also the working directory), $logcat (the
# sandbox runner), $runs, and, for wall(), $ours, $peer and $runner. Each
# function sets the figure variables it names; a figure that could not be
# measured is "-", and $status becomes 1.
# shellcheck shell=sh disable=SC2154,SC2034 # its variables are the caller's
failed() { echo "bench/run.sh: $*" >&2; status=1; }
ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN {
    if (a ~ /^[0-9.]+$/ && b ~ /^[0-9.]+$/ && b > 0) printf "%.2f", a / b; else printf "-" }'
}
row() { printf '| %s | %s | %s | %s |\n' "$1" "$2" "$3" "$(ratio "$2" "$3")"; }

# Runs PROGRAM ARG... in the test sandbox (a private /dev with a logd socket)
# and keeps everything it printed in $work/run.out; fails if it did not exit 0.
in_sandbox() {
  "$logcat" -- "$@" > "$work/run.out" 2>&1 ||
    { failed "in the sandbox, exit status $?: $*"; return 1; }
}
# System calls of a run under QEMU -strace: one line "PID NAME(..." each.
# Sets $calls to their names and $count to their number ("-" if the run
# failed).
qemu_calls() {
  calls='' count=-
  in_sandbox "$@" || return 0
  calls=$(sed -n 's/^[0-9][0-9]* \([a-z_0-9][a-z_0-9]*\)(.*/\1/p' "$work/run.out" | tr '\n' ' ')
  count=$(echo "$calls" | wc -w)
}
# The same on this kernel with strace, execve left out (QEMU does not show it).
native_calls() {
  calls='' count=-
  in_sandbox strace -f "$@" || return 0
  calls=$(sed -n 's/^\([a-z_0-9][a-z_0-9]*\)(.*/\1/p' "$work/run.out" | grep -vx execve |
    tr '\n' ' ')
  count=$(echo "$calls" | wc -w)
}
# Each sets $value to its figure, or to "-" if the run failed.
instructions() {
  value=-
  if in_sandbox valgrind -q --tool=callgrind --callgrind-out-file="$work/callgrind.out" "$@"; then
    value=$(awk '/^(summary|totals):/ { print $2; exit }' "$work/callgrind.out")
  fi
}
peak_kib() {
  value=-
  if /usr/bin/time -f %M -o "$work/time.out" "$@" >/dev/null 2>&1; then
    value=$(cat "$work/time.out")
  else
    failed "$*"
  fi
}
heap_allocs() {
  value=-
  if valgrind --log-file="$work/valgrind.out" "$@" >/dev/null 2>&1; then
    value=$(awk '/total heap usage:/ { gsub(",", ""); print $5 }' "$work/valgrind.out")
  else
    failed "valgrind: $*"
  fi
}
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# PROGRAM ARG... under $runner, or natively when it is empty.
under_runner() { if [ -n "$runner" ]; then "$runner" "$@"; else "$@"; fi; }
# Wall time of RUNS alternating runs of "$ours" and "$peer" dd under $runner,
# outside the sandbox; sets $ours_us and $peer_us to the medians in
# microseconds.
wall() {
  : > ours.ns
  : > peer.ns
  i=0
  while [ "$i" -lt "$runs" ]; do
    t0=$(date +%s%N)
    under_runner "$ours" misc boot-recovery >/dev/null || failed "timed run of $ours"
    t1=$(date +%s%N)
    under_runner "$peer" dd if=record of=misc bs=14 count=1 conv=notrunc,fsync 2>/dev/null ||
      failed "timed run of $peer dd"
    t2=$(date +%s%N)
    echo $(((t1 - t0) / 1000)) >> ours.ns
    echo $(((t2 - t1) / 1000)) >> peer.ns
    i=$((i + 1))
  done
  ours_us=$(median ours.ns)
  peer_us=$(median peer.ns)
}
