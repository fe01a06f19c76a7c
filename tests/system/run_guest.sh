#!/bin/sh
# Boots one guest: a Debian kernel under qemu-system-*, whose init
# (guest_init.sh) runs the cases of each device build given, unchanged, and
# reports what happened on the console; guest_check judges the console and
# the disk images afterwards, one ABI at a time. The boot ends in a power cut.
#
#   run_guest.sh --cache DIR --work DIR --checker GUEST_CHECK
#                --kernel META_PACKAGE --busybox PACKAGE --console DEVICE
#                --modules "NAME..." --disk QEMU_DEVICE [--dtb FILE]
#                --abi NAME=BINARY [--abi NAME=BINARY]...
#                -- QEMU_PROGRAM QEMU_ARG...
#
# BINARY is a device build of bootnote with its guest_helper beside it. The
# kernel (the package META_PACKAGE depends on) and busybox are downloaded
# once into the cache. DIR of --work holds, afterwards, the console log and
# each ABI's disks. Anything missing fails the run: nothing is skipped.
set -eu
here=$(cd "$(dirname "$0")" && pwd)

fail() {
  echo "run_guest: $*" >&2
  exit 1
}

cache='' work='' checker='' kernel_package='' busybox_package='' console='' modules='' disk_device='' dtb='' abis=''
while [ $# -gt 0 ]; do
  case $1 in
    --cache) cache=$2 ;;
    --work) work=$2 ;;
    --checker) checker=$2 ;;
    --kernel) kernel_package=$2 ;;
    --busybox) busybox_package=$2 ;;
    --console) console=$2 ;;
    --modules) modules=$2 ;;
    --disk) disk_device=$2 ;;
    --dtb) dtb=$2 ;;
    --abi) abis="$abis $2" ;;
    --) shift; break ;;
    *) fail "unknown option $1" ;;
  esac
  shift 2
done
[ $# -gt 0 ] || fail "no qemu command after --"
for value in "$cache" "$work" "$checker" "$kernel_package" "$busybox_package" "$console" "$disk_device" "$abis"; do
  [ -n "$value" ] || fail "every option but --dtb and --modules is needed"
done
for tool in "$1" sfdisk cpio gzip timeout; do
  command -v "$tool" > /dev/null || fail "$tool is not installed (scripts/install-deps.sh installs it)"
done
for abi in $abis; do
  binary=${abi#*=}
  for file in "$binary" "$(dirname "$binary")/guest_helper"; do
    [ -x "$file" ] || fail "${abi%%=*}: $file is missing: build its preset first"
  done
done

# The kernel, its modules and busybox, from Debian's archive.
rm -rf "$work"
mkdir -p "$work/initrd/abis"
for dir in proc sys dev tmp; do mkdir "$work/initrd/$dir"; done
cp "$here/guest_init.sh" "$work/initrd/init"
kernel_root=$("$here/guest_packages.sh" "$cache" "$kernel_package" "$busybox_package" "$work/initrd" "$modules") ||
  fail "the guest's packages could not be had"
kernel=$(echo "$kernel_root"/boot/vmlinuz-*)

# Each ABI: its binaries, its cases, and three disks, copies of one phone
# disk: random bytes under a GPT with the usual partitions.
k=0 disks=
for abi in $abis; do
  k=$((k + 1))
  name=${abi%%=*} binary=${abi#*=}
  mkdir "$work/initrd/abis/$k" "$work/$name"
  echo "$name" > "$work/initrd/abis/$k/name"
  cp "$binary" "$work/initrd/abis/$k/bootnote"
  cp "$(dirname "$binary")/guest_helper" "$work/initrd/abis/$k/guest_helper"
  "$checker" --abi "$name" --cases > "$work/initrd/abis/$k/cases" || fail "$checker --abi $name --cases failed"
  head -c $((8192 * 512)) /dev/urandom > "$work/$name/original.img"
  printf '%s\n' 'label: gpt' 'start=2048, size=2048, name=boot' 'start=4096, size=64, name=misc' \
    'start=4160, size=2048, name=system' 'start=6208, size=1900, name=cache' |
    sfdisk --quiet --wipe never --wipe-partitions never "$work/$name/original.img" > /dev/null
  for role in phone readonly flushfail; do cp "$work/$name/original.img" "$work/$name/$role.img"; done
  printf '[inject-error]\nevent = "flush_to_os"\nerrno = "5"\n' > "$work/$name/flush.rules"
  disks="$disks $k:$work/$name"
done
(cd "$work/initrd" && find . | cpio -o -H newc --quiet | gzip -1) > "$work/initrd.gz"

# The qemu command: the row's program and machine, then the kernel and the
# disks, each found by the guest through its serial.
set -- "$@" -m 512 -nic none -display none -audiodev none,id=silent -monitor none -no-reboot \
  -serial "file:$work/console.log" -kernel "$kernel" -initrd "$work/initrd.gz" \
  -append "console=$console loglevel=1 panic=-1 audit_backlog_limit=8192"
if [ -n "$dtb" ]; then
  dtb_file=$(echo "$kernel_root"/usr/lib/linux-image-*/"$dtb")
  [ -f "$dtb_file" ] || fail "no $dtb in $kernel_package"
  set -- "$@" -dtb "$dtb_file"
fi
for disk in $disks; do
  k=${disk%%:*} dir=${disk#*:}
  set -- "$@" -drive "if=none,id=phone$k,format=raw,file=$dir/phone.img" \
    -device "$disk_device,drive=phone$k,serial=$k-phone" \
    -drive "if=none,id=readonly$k,format=raw,readonly=on,file=$dir/readonly.img" \
    -device "$disk_device,drive=readonly$k,serial=$k-readonly" \
    -drive "if=none,id=flushfail$k,format=raw,file=blkdebug:$dir/flush.rules:$dir/flushfail.img" \
    -device "$disk_device,drive=flushfail$k,serial=$k-flushfail"
done

# The power cut: qemu is killed the moment the guest reports it is done;
# at the limit, whatever the guest does. No qemu outlives this script.
limit=120
runner=''
# Only while timeout runs is qemu its child, and the pid in the file qemu's.
kill_qemu() {
  if [ -n "$runner" ] && kill -0 "$runner" 2> /dev/null; then
    if [ -s "$work/qemu.pid" ]; then kill -KILL "$(cat "$work/qemu.pid")"; else kill -TERM "$runner"; fi
    wait "$runner" || true
  fi
}
trap kill_qemu EXIT
trap 'exit 1' INT TERM
started=$(date +%s)
timeout -s KILL "$limit" "$@" -pidfile "$work/qemu.pid" < /dev/null &
runner=$!
until grep -q '^GUEST-DONE' "$work/console.log" 2> /dev/null; do
  kill -0 "$runner" 2> /dev/null || break
  sleep 0.1
done
status=0
if kill -0 "$runner" 2> /dev/null; then kill_qemu; else wait "$runner" || status=$?; fi
runner=''
seconds=$(($(date +%s) - started))
tr -d '\r' < "$work/console.log" > "$work/console.txt"
if ! grep -q '^GUEST-DONE' "$work/console.txt"; then
  echo "run_guest: qemu ended with status $status after $seconds s (limit $limit s); the console:" >&2
  cat "$work/console.txt" >&2
  exit 1
fi
echo "run_guest: booted and ran in $seconds s;" \
  "guest uptime $(sed -n 's/^UPTIME \([a-z-]*\) \(.*\)/\1 \2 s/p' "$work/console.txt" | paste -sd,)"

failed=0
for abi in $abis; do
  name=${abi%%=*}
  echo "run_guest: checking $name"
  "$checker" --abi "$name" --console "$work/console.txt" --disks "$work/$name" || failed=1
done
exit "$failed"
