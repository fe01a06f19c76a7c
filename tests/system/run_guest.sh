#!/bin/sh
# Boots one guest: a Debian kernel under qemu-system-* whose init
# (guest_init.sh) runs the cases of guest_check.py with each device build
# given, unchanged; kills qemu once it is done (a power cut), then has
# guest_check.py judge the console and the disk images, one ABI at a time.
#
#   run_guest.sh --cache DIR --work DIR --kernel META_PACKAGE --busybox PACKAGE
#                --console DEVICE --modules "NAME..." --disk QEMU_DEVICE
#                --page-size BYTES [--dtb FILE] [--kvm-cpu MODEL]
#                --abi NAME=BINARY [--abi ...] -- QEMU_PROGRAM QEMU_ARG...
#
# BINARY is a device build with its guest_helper beside it; BYTES the guest
# kernel's page size; DIR of --work holds the console log and disk images.
# --kvm-cpu: the CPU is MODEL, under KVM where this machine's KVM can give
# it every one of its features, emulated otherwise.
set -eu
here=$(cd "$(dirname "$0")" && pwd)

fail() {
  echo "run_guest: $*" >&2
  exit 1
}

cache='' work='' kernel_package='' busybox_package='' console='' modules='' disk_device='' \
  page_size='' dtb='' kvm_cpu='' abis=''
while [ $# -gt 0 ]; do
  case $1 in
    --cache) cache=$2 ;;
    --work) work=$2 ;;
    --kernel) kernel_package=$2 ;;
    --busybox) busybox_package=$2 ;;
    --console) console=$2 ;;
    --modules) modules=$2 ;;
    --disk) disk_device=$2 ;;
    --page-size) page_size=$2 ;;
    --dtb) dtb=$2 ;;
    --kvm-cpu) kvm_cpu=$2 ;;
    --abi) abis="$abis $2" ;;
    --) shift; break ;;
    *) fail "unknown option $1" ;;
  esac
  shift 2
done
for value in "$cache" "$work" "$kernel_package" "$busybox_package" "$console" "$disk_device" \
             "$page_size" "$abis" "$*"; do
  [ -n "$value" ] ||
    fail "every option but --dtb, --kvm-cpu and --modules is needed, and a qemu command after --"
done
if [ -n "$kvm_cpu" ]; then
  # A CPU that KVM cannot give all its features fails to start (enforce);
  # one that can starts paused (-S) and quits when its monitor says so.
  accel=tcg
  echo quit | "$1" -accel kvm -cpu "$kvm_cpu,enforce" -M q35 -S -nodefaults -display none \
    -monitor stdio > /dev/null 2>&1 && accel=kvm
  echo "run_guest: a $kvm_cpu CPU, under $accel"
  set -- "$@" -accel "$accel" -cpu "$kvm_cpu"
fi
for tool in "$1" python3 sfdisk cpio gzip; do
  command -v "$tool" > /dev/null ||
    fail "$tool is not installed (scripts/install-deps.sh installs it)"
done

# The initramfs: the kernel's modules, busybox, init, the cases, and each
# ABI's binaries (a missing one fails here, naming it).
rm -rf "$work"
mkdir -p "$work/initrd/abis" "$work/initrd/proc" "$work/initrd/sys" "$work/initrd/dev" \
  "$work/initrd/tmp"
cp "$here/guest_init.sh" "$work/initrd/init"
"$here/guest_check.py" --cases > "$work/initrd/cases"
kernel_root=$("$here/guest_packages.sh" "$cache" "$kernel_package" "$busybox_package" \
  "$work/initrd" "$modules") ||
  fail "the guest's packages could not be had"
set -- "$@" -m 512 -nic none -display none -audiodev none,id=silent -monitor none -no-reboot \
  -serial "file:$work/console.log" -kernel "$(echo "$kernel_root"/boot/vmlinuz-*)" \
  -initrd "$work/initrd.gz" \
  -append "console=$console loglevel=1 panic=-1"
if [ -n "$dtb" ]; then
  dtb_file=$(echo "$kernel_root"/usr/lib/linux-image-*/"$dtb")
  [ -f "$dtb_file" ] || fail "no $dtb in $kernel_package"
  set -- "$@" -dtb "$dtb_file"
fi
# Three disks an ABI, copies of one phone disk: random bytes under a GPT
# with the usual partitions. The guest finds each by its serial; readonly
# refuses writes, and flushfail's flushes fail (qemu's blkdebug).
k=0
for abi in $abis; do
  k=$((k + 1)) dir=$work/${abi%%=*}
  mkdir "$work/initrd/abis/$k" "$dir"
  echo "${abi%%=*}" > "$work/initrd/abis/$k/name"
  cp "${abi#*=}" "$(dirname "${abi#*=}")/guest_helper" "$work/initrd/abis/$k/" ||
    fail "${abi%%=*}: build its preset first"
  head -c $((8192 * 512)) /dev/urandom > "$dir/original.img"
  printf '%s\n' 'label: gpt' \
    'start=2048, size=2048, name=boot' \
    'start=4096, size=64, name=misc' \
    'start=4160, size=2048, name=system' \
    'start=6208, size=1900, name=cache' |
    sfdisk --quiet --wipe never --wipe-partitions never "$dir/original.img" > /dev/null
  printf '[inject-error]\nevent = "flush_to_os"\nerrno = "5"\n' > "$dir/flush.rules"
  for disk in phone readonly flushfail; do
    cp "$dir/original.img" "$dir/$disk.img"
    file=$dir/$disk.img
    [ "$disk" != readonly ] || file=$file,readonly=on
    [ "$disk" != flushfail ] || file=blkdebug:$dir/flush.rules:$file
    set -- "$@" -drive "if=none,id=$disk$k,format=raw,file=$file" \
      -device "$disk_device,drive=$disk$k,serial=$k-$disk"
  done
done
(cd "$work/initrd" && find . | cpio -o -H newc --quiet | gzip -1) > "$work/initrd.gz"

# The power cut: qemu is killed the moment the guest reports it is done;
# at the limit (a hang: a guest takes 10 to 17 s here, loaded), whatever
# the guest does. No qemu outlives this script.
limit=300
started=$(date +%s)
"$@" < /dev/null &
qemu=$!
trap 'kill -KILL "$qemu" 2> /dev/null || true' EXIT
trap 'exit 1' INT TERM
until grep -q '^GUEST-DONE' "$work/console.log" 2> /dev/null ||
  [ $(($(date +%s) - started)) -ge $limit ]; do
  kill -0 "$qemu" 2> /dev/null || break
  sleep 0.1
done
kill -KILL "$qemu" 2> /dev/null || true
status=0
wait "$qemu" || status=$?
trap - EXIT
seconds=$(($(date +%s) - started))
tr -d '\r' < "$work/console.log" > "$work/console.txt"
if ! grep -q '^GUEST-DONE' "$work/console.txt"; then
  echo "run_guest: qemu ended with status $status after $seconds s (limit $limit s);" \
    "the console:" >&2
  cat "$work/console.txt" >&2
  exit 1
fi
echo "run_guest: booted and ran in $seconds s"
failed=0
for abi in $abis; do
  "$here/guest_check.py" "${abi%%=*}" "$page_size" "$work/console.txt" "$work/${abi%%=*}" ||
    failed=1
done
exit "$failed"
