#!/bin/sh
# Footprint and cost of one run of each device build, against the same
# in-place 14-byte write with fsync done by busybox dd from Debian's
# busybox-static of the same architecture. Prints one table per Android ABI,
# then one for the host builds against coreutils dd.
#   bench/run.sh [-B BUILD_ROOT] [RUNS]
# -B BUILD_ROOT  build each preset in BUILD_ROOT/PRESET and keep the busybox
#                packages in BUILD_ROOT/bench (default: build/PRESET and
#                build/bench of this tree)
# RUNS           wall-time runs of each program, per ABI (default 21)
# Exits 1 when a busybox package could not be downloaded or a measured run
# failed; the table then shows "-" for what is missing.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
build_root=$root/build
if [ "${1-}" = -B ]; then
  [ $# -ge 2 ] || { echo "usage: $0 [-B BUILD_ROOT] [RUNS]" >&2; exit 2; }
  build_root=$(mkdir -p "$2" && cd "$2" && pwd)
  shift 2
fi
runs=${1-21}
status=0

scripts/install-deps.sh >&2
missing=""
for tool in strace /usr/bin/time; do
  command -v "$tool" >/dev/null || missing="$missing ${tool##*/}"
done
if [ -n "$missing" ]; then
  # shellcheck disable=SC2086 # one word per package
  if [ "$(id -u)" -eq 0 ]; then
    apt-get install -y -q $missing >&2
  else
    sudo apt-get install -y -q $missing >&2
  fi
fi

# Each device preset, its Android ABI, the qemu that runs it, the most
# system calls its write run may make under that qemu (bench/README.md says
# why each is made; more fails the run), and the Debian architecture of the
# busybox it is compared with.
abis="android-armv7:armeabi-v7a:qemu-arm:13:armhf
android-arm64:arm64-v8a:qemu-aarch64:13:arm64
android-x86:x86:qemu-i386:14:i386
android-x86_64:x86_64:qemu-x86_64:14:amd64"

scripts/build-presets.sh -B "$build_root" host host-static \
  android-armv7 android-arm64 android-x86 android-x86_64 >/dev/null
logcat=$root/tests/e2e/logcat.py

# Debian's busybox-static of each architecture, downloaded once.
bench=$build_root/bench
mkdir -p "$bench"
for abi in $abis; do
  arch=${abi##*:}
  [ -x "$bench/busybox-$arch/bin/busybox" ] && continue
  if (cd "$bench" && rm -f busybox-static_*_"$arch".deb &&
        apt-get download -q "busybox-static:$arch" >&2 &&
        dpkg-deb -x busybox-static_*_"$arch".deb "busybox-$arch"); then
    :
  else
    echo "bench/run.sh: could not download or unpack busybox-static:$arch;" \
      "its column is left empty" >&2
    status=1
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
head -c 100 /dev/urandom > misc
printf 'boot-recovery\0' > record
coreutils_dd=$(command -v dd)

# shellcheck source=SCRIPTDIR/figures.sh
. "$root/bench/figures.sh"

echo "bootnote against busybox dd, one in-place 14-byte write with fsync"
echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(uname -m), $(uname -r)," \
  "$(qemu-arm --version | head -1)"
for abi in $abis; do
  preset=${abi%%:*}; rest=${abi#*:}
  name=${rest%%:*}; rest=${rest#*:}
  qemu=${rest%%:*}; rest=${rest#*:}
  ceiling=${rest%%:*}; arch=${rest#*:}
  ours=$build_root/$preset/bootnote
  peer=$bench/busybox-$arch/bin/busybox
  have_peer=true
  [ -x "$peer" ] || have_peer=false

  echo
  echo "$name ($preset), against busybox-static:$arch"
  echo
  echo "| figure | bootnote | busybox dd | ratio |"
  echo "|---|---|---|---|"
  qemu_calls "$qemu" -strace "$ours" misc boot-recovery
  ours_write=$count qemu_list=$calls
  [ "$count" != - ] && [ "$count" -gt "$ceiling" ] &&
    failed "$name: the write run makes $count system calls, more than $ceiling: $calls"
  qemu_calls "$qemu" -strace "$ours" misc
  ours_erase=$count
  peer_write=- peer_erase=- peer_size=-
  if $have_peer; then
    qemu_calls "$qemu" -strace "$peer" dd if=record of=misc bs=14 count=1 conv=notrunc,fsync
    peer_write=$count
    qemu_calls "$qemu" -strace "$peer" dd if=/dev/zero of=misc bs=14 count=1 conv=notrunc,fsync
    peer_erase=$count
    peer_size=$(wc -c < "$peer")
  fi
  row "system calls, write run ($qemu -strace, logd present)" "$ours_write" "$peer_write"
  row "system calls, erase run ($qemu -strace, logd present)" "$ours_erase" "$peer_erase"
  native_list=
  if [ "$arch" = amd64 ]; then
    native_calls "$ours" misc boot-recovery
    ours_native=$count native_list=$calls
    peer_native=-
    if $have_peer; then
      native_calls "$peer" dd if=record of=misc bs=14 count=1 conv=notrunc,fsync
      peer_native=$count
    fi
    row "system calls, write run, on this kernel (strace -f, logd present, execve not counted)" \
      "$ours_native" "$peer_native"
  fi
  row "stripped size, bytes" "$(wc -c < "$ours")" "$peer_size"
  if $have_peer; then
    if [ "$arch" = amd64 ]; then
      runner=
      where="natively"
    else
      runner=$qemu
      where="under $qemu"
    fi
    wall
    row "wall time, microseconds, median of $runs alternating runs $where" "$ours_us" "$peer_us"
  fi
  echo
  echo "write-run calls under $qemu: $qemu_list"
  [ -z "$native_list" ] || echo "write-run calls on this kernel: $native_list"
done

echo
echo "host builds (glibc), against coreutils dd"
echo
echo "| figure | bootnote | coreutils dd | ratio |"
echo "|---|---|---|---|"
instructions "$build_root/host-static/bootnote" misc boot-recovery
ours_value=$value
instructions "$coreutils_dd" if=record of=misc bs=14 count=1 conv=notrunc,fsync
row "instructions, write run, static host build (callgrind, logd present)" "$ours_value" "$value"
peak_kib "$build_root/host-static/bootnote" misc boot-recovery
ours_value=$value
peak_kib "$coreutils_dd" if=record of=misc bs=14 count=1 conv=notrunc,fsync
row "peak resident KiB, static host build" "$ours_value" "$value"
heap_allocs "$build_root/host/bootnote" misc boot-recovery
ours_value=$value
heap_allocs "$coreutils_dd" if=record of=misc bs=14 count=1 conv=notrunc,fsync
row "heap allocations, host build (valgrind)" "$ours_value" "$value"
exit "$status"
