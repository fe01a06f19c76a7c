#!/bin/sh
# Footprint and cost of one run, against the same in-place 14-byte write with
# fsync done by dd: busybox dd (Debian's busybox-static:armhf) for the device
# build under qemu-arm, coreutils dd for the host builds. Prints one table.
#   bench/run.sh [RUNS]      (wall-time runs of each; default 21)
set -eu
cd "$(dirname "$0")/.."
root=$PWD
runs=${1-21}
scripts/install-deps.sh >&2
missing=""
for tool in strace /usr/bin/time; do command -v "$tool" >/dev/null || missing="$missing ${tool##*/}"; done
if [ -n "$missing" ]; then
  if [ "$(id -u)" -eq 0 ]; then apt-get install -y -q $missing >&2; else sudo apt-get install -y -q $missing >&2; fi
fi

for preset in android-armv7 host host-static; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --parallel 2 >/dev/null
done
ours=$root/build/android-armv7/bootnote
ours_host=$root/build/host/bootnote
ours_static=$root/build/host-static/bootnote
logcat=$root/build/host/sandbox_logcat

bench=$root/build/bench
mkdir -p "$bench"
busybox=$bench/busybox/bin/busybox
if [ ! -x "$busybox" ]; then
  (cd "$bench" && rm -f busybox-static_*.deb && apt-get download busybox-static:armhf >&2 &&
     dpkg-deb -x busybox-static_*.deb busybox)
fi
dd=$(command -v dd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
head -c 100 /dev/urandom > misc
printf 'boot-recovery\0' > record

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf (b > 0 ? "%.2f" : "-"), a / b }'; }
row() { printf '| %s | %s | %s | %s |\n' "$1" "$2" "$3" "$(ratio "$2" "$3")"; }
device_calls() { "$root/tests/count_syscalls.sh" "$logcat" - "$@" | cut -d' ' -f1; }
host_calls() {
  "$logcat" -- strace -f -c -o "$work/strace.out" "$@" >/dev/null 2>&1 || true
  awk '$NF == "total" { print $4 }' "$work/strace.out"
}
instructions() {
  "$logcat" -- valgrind -q --tool=callgrind --callgrind-out-file="$work/callgrind.out" "$@" >/dev/null 2>&1 || true
  awk '/^(summary|totals):/ { print $2; exit }' "$work/callgrind.out"
}
peak_kib() { /usr/bin/time -f %M -o "$work/time.out" "$@" >/dev/null 2>&1 || true; cat "$work/time.out"; }
heap_allocs() {
  valgrind "$@" 2>&1 >/dev/null | awk '/total heap usage:/ { gsub(",", ""); print $5 }'
}
# The same job for both: the record into misc in place, synced.
write="misc boot-recovery"
dd_write="of=misc bs=14 count=1 conv=notrunc,fsync"
dd_calls=$(host_calls "$dd" if=record $dd_write)

echo "bootnote against dd, one in-place 14-byte write with fsync"
echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(uname -m), $(uname -r), $(qemu-arm --version | head -1)"
echo
echo "| figure | bootnote | dd | ratio |"
echo "|---|---|---|---|"
row "system calls, write mode, device build vs busybox dd (qemu-arm -strace, logd present)" \
  "$(device_calls "$ours" $write)" "$(device_calls "$busybox" dd if=record $dd_write)"
row "system calls, erase mode, device build vs busybox dd" \
  "$(device_calls "$ours" misc)" "$(device_calls "$busybox" dd if=/dev/zero $dd_write)"
row "system calls, write mode, host build vs coreutils dd (strace -f -c)" "$(host_calls "$ours_host" $write)" "$dd_calls"
row "system calls, write mode, static host build vs coreutils dd" "$(host_calls "$ours_static" $write)" "$dd_calls"
row "stripped size, bytes, device build vs busybox" "$(wc -c < "$ours")" "$(wc -c < "$busybox")"
row "instructions, write mode, static host build vs coreutils dd (callgrind)" \
  "$(instructions "$ours_static" $write)" "$(instructions "$dd" if=record $dd_write)"
row "peak resident KiB, static host build vs coreutils dd" \
  "$(peak_kib "$ours_static" $write)" "$(peak_kib "$dd" if=record $dd_write)"
row "peak resident KiB, under qemu-arm, device build vs busybox dd" \
  "$(peak_kib qemu-arm "$ours" $write)" "$(peak_kib qemu-arm "$busybox" dd if=record $dd_write)"
row "heap allocations, host build vs coreutils dd (valgrind)" \
  "$(heap_allocs "$ours_host" $write)" "$(heap_allocs "$dd" if=record $dd_write)"

# Wall time: alternating runs under qemu-arm, medians, as a ratio only.
: > ours.ns
: > peer.ns
i=0
while [ "$i" -lt "$runs" ]; do
  t0=$(date +%s%N); qemu-arm "$ours" $write >/dev/null; t1=$(date +%s%N)
  qemu-arm "$busybox" dd if=record $dd_write 2>/dev/null; t2=$(date +%s%N)
  echo $((t1 - t0)) >> ours.ns
  echo $((t2 - t1)) >> peer.ns
  i=$((i + 1))
done
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
echo "| wall time under qemu-arm, median of $runs alternating runs, device build vs busybox dd | | | $(ratio "$(median ours.ns)" "$(median peer.ns)") |"
