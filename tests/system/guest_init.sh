#!/bin/busybox sh
# shellcheck shell=sh
# The guest's init (busybox sh). It runs the cases and reports what happened,
# one fact a line on the console; it judges nothing: the host checks every
# line (guest_check.cpp).
#
# What the host put into the initramfs:
#   /modules/*.ko        loaded in the order of their names
#   /abis/K/name         for K = 1, 2, ...: the ABI's name, and beside it its
#   /abis/K/bootnote     device binary, unchanged,
#   /abis/K/guest_helper the helper built with it,
#   /abis/K/cases        and the cases to run, one a line:
#                          NAME TRANSPORT HOW DISK COMMAND
#                        TRANSPORT: logd | kernel-log
#                        HOW: plain | old-kernel (under guest_helper old-kernel)
#                             | held (another process holds the disk open)
#                        DISK: the path operand: phone | readonly | flushfail
#                             (the misc partition of that disk) | missing (a
#                             path that does not exist) | - (none)
#                        COMMAND: the command operand, - for none
# Each ABI has three disks, found by their serial K-phone, K-readonly,
# K-flushfail.
#
# What it prints (HEX: bytes as hex, "-" for none; every line starts with the ABI's name):
#   DISK ABI ROLE PATH FIRST_SECTOR   the misc path of each disk, and where
#                                     misc starts; "missing" has sector -
#   CASE ABI NAME STATUS PID STDOUT STDERR   exit status, pid, output as HEX
#   ENTRY ABI NAME ...                one log entry as guest_helper prints it
#   BYTES ABI NAME HEX                misc's first 32 bytes after the case
#   CALLS ABI NAME NUMBER...          the calls the kernel logged for the
#                                     case's process (old-kernel cases)
#   BASE ABI ADDRESS                  where the kernel loaded the binary, once
#                                     for each of two runs
#   UPTIME WHEN SECONDS               the guest's uptime once its disks are
#                                     there and once every case ran
#   GUEST-DONE
# and then waits for the host to kill qemu: a power cut, with nothing written
# back but what the tool forced out.

/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs tmp /tmp
# Every logged call reaches dmesg.
echo 1000000 > /proc/sys/kernel/printk_ratelimit_burst
# No writeback but what the tool forces: the power cut must find only that.
echo 360000 > /proc/sys/vm/dirty_expire_centisecs
echo 360000 > /proc/sys/vm/dirty_writeback_centisecs

for module in /modules/*.ko; do
  [ -e "$module" ] && insmod "$module"
done
# Three disks for each ABI.
abis=$(ls /abis)
disks_found() {
  set -- /sys/block/vd*
  [ -e "$1" ] || set --
  echo $#
}
until [ "$(disks_found)" -ge $(($(echo "$abis" | wc -w) * 3)) ]; do usleep 10000; done

echo "UPTIME disks-found $(cut -d' ' -f1 /proc/uptime)"

# Links by partition name, as ueventd makes them, under each disk's
# controller; /tmp/misc/SERIAL holds the path of that disk's misc.
mkdir -p /tmp/misc /dev/socket
for disk in /sys/block/vd*; do
  serial=$(cat "$disk/serial")
  links=/dev/block/platform/$(basename "$(readlink -f "$disk/device/..")")/by-name
  mkdir -p "$links"
  for part in "$disk"/vd*; do
    node=$(basename "$part")
    name=$(sed -n 's/^PARTNAME=//p' "$part/uevent")
    until [ -b "/dev/$node" ]; do usleep 1000; done
    ln -s "/dev/$node" "$links/$name"
    [ "$name" != misc ] || echo "$links/misc $(cat "$part/start")" > "/tmp/misc/$serial"
  done
done
for k in $abis; do
  for role in phone readonly flushfail; do
    echo "DISK $(cat "/abis/$k/name") $role $(cat "/tmp/misc/$k-$role")"
  done
  echo "DISK $(cat "/abis/$k/name") missing /dev/block/platform/none/by-name/misc -"
  echo /dev/block/platform/none/by-name/misc > "/tmp/misc/$k-missing"
done

# run_case K NAME TRANSPORT HOW DISK COMMAND: one case of ABI K.
run_case() {
  dir=/abis/$1 abi=$(cat "/abis/$1/name") name=$2 transport=$3 how=$4 disk=$5 command=$6
  misc=
  [ "$disk" = - ] || misc=$(cut -d' ' -f1 "/tmp/misc/$1-$disk")
  set --
  [ -z "$misc" ] || set -- "$misc"
  [ "$command" = - ] || set -- "$@" "$command"
  case $how in
    plain) set -- "$dir/bootnote" "$@" ;;
    old-kernel) set -- "$dir/guest_helper" old-kernel "$dir/bootnote" "$@" ;;
    held)
      # The holder opens misc first, so the tool's close is not its last
      # one, which would sync it whatever the tool did.
      sleep 100000 <> "$misc" &
      holder=$!
      until [ "$(readlink "/proc/$holder/fd/0")" = "$(readlink -f "$misc")" ]; do usleep 1000; done
      set -- "$dir/bootnote" "$@"
      ;;
  esac
  if [ "$transport" = kernel-log ]; then
    mkdir -p /dev/log
    : > /dev/log/main
  else
    "$dir/guest_helper" logd /dev/socket/logdw > /tmp/log &
    logd=$!
    until [ -S /dev/socket/logdw ]; do usleep 1000; done
  fi
  # Linux 3.10's 32-bit x86 vDSO had no clock functions: under the old
  # table the C library must find none either, and make the calls.
  [ "$how" != old-kernel ] || [ ! -e /proc/sys/abi/vsyscall32 ] || echo 0 > /proc/sys/abi/vsyscall32
  "$@" < /dev/null > /tmp/out 2> /tmp/err &
  pid=$!
  wait "$pid"
  status=$?
  [ ! -e /proc/sys/abi/vsyscall32 ] || echo 1 > /proc/sys/abi/vsyscall32
  if [ "$transport" = kernel-log ]; then
    "$dir/guest_helper" kernel-log < /dev/log/main > /tmp/log
    rm -r /dev/log
  else
    kill "$logd"
    wait "$logd"
  fi
  echo "CASE $abi $name $status $pid $("$dir/guest_helper" hex < /tmp/out) $("$dir/guest_helper" hex < /tmp/err)"
  sed "s/^/ENTRY $abi $name /" /tmp/log
  [ -z "$misc" ] || [ "$disk" = missing ] ||
    echo "BYTES $abi $name $(dd if="$misc" bs=32 count=1 2>/dev/null | "$dir/guest_helper" hex)"
  if [ "$how" = old-kernel ]; then
    echo "CALLS $abi $name$(dmesg | grep 'type=1326' | grep " pid=$pid " |
      sed -n 's/.* syscall=\([0-9]*\) .*/ \1/p' | tr -d '\n')"
  fi
}

# load_address K: one run of ABI K's binary that waits in its open of a FIFO
# while its mappings are read.
load_address() {
  [ -p /tmp/fifo ] || mkfifo /tmp/fifo
  "/abis/$1/bootnote" /tmp/fifo x > /dev/null 2>&1 &
  pid=$!
  until grep -q "/abis/$1/bootnote" "/proc/$pid/maps" 2>/dev/null; do usleep 1000; done
  echo "BASE $(cat "/abis/$1/name") $(grep -m1 "/abis/$1/bootnote" "/proc/$pid/maps" | cut -d- -f1)"
  exec 4< /tmp/fifo
  exec 4<&-
  wait "$pid"
}

for k in $abis; do
  load_address "$k"
  load_address "$k"
  while read -r name transport how disk command; do
    run_case "$k" "$name" "$transport" "$how" "$disk" "$command"
  done < "/abis/$k/cases"
done
echo "UPTIME cases-done $(cut -d' ' -f1 /proc/uptime)"
echo GUEST-DONE
# The host cuts the power now.
sleep 100000
