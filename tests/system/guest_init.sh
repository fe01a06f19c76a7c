#!/bin/busybox sh
# shellcheck shell=sh
# The guest's init (busybox sh): runs the cases and prints raw facts, one a
# line, on the console; guest_check.py judges them on the host. The
# initramfs holds /modules/*.ko (loaded in name order), /cases (NAME HOW
# DISK COMMAND a line) and, for K = 1, 2, ..., /abis/K/name, /abis/K/bootnote
# (an ABI's device binary) and /abis/K/guest_helper; that ABI's disks have
# the serials K-phone, K-readonly and K-flushfail. It prints (HEX: bytes as
# hex, "-" for none):
#   DISK ABI DISK PATH SECTOR  the misc link of each disk; misc's first sector
#   ASLR ABI VA TYPE           randomize_va_space; the binary's e_type (od)
#   MAP ABI ADDRESS KB         a waiting run's binary mapping and its
#                              KernelPageSize; eight runs
#   CASE ABI NAME STATUS PID OUT ERR MISC   exit status, pid, standard output
#                              and error, misc's first 32 bytes after, as HEX
#   ENTRY ABI NAME HEX         a datagram the stand-in logd received
#   GUEST-DONE                 then waits for the host to cut the power, with
#                              nothing written back but what the tool forced
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs tmp /tmp
# No writeback but what the tool forces: the power cut must find only that.
echo 360000 > /proc/sys/vm/dirty_expire_centisecs
echo 360000 > /proc/sys/vm/dirty_writeback_centisecs

# settle COMMAND...: runs COMMAND every 10 ms until it succeeds, for
# about 5 s at most, so that a helper or binary that cannot run fails its
# checks rather than hanging the guest.
settle() {
  tries=0
  until "$@" 2> /dev/null; do [ $((tries += 1)) -le 500 ] || return 0; usleep 10000; done
}

for module in /modules/*.ko; do [ ! -e "$module" ] || insmod "$module"; done
abis=$(ls /abis)
# Three disks for each ABI, however slow the emulated machine (run_guest.sh
# bounds the whole boot).
until [ "$(find /sys/block -name 'vd*' | wc -l)" -ge $(($(echo "$abis" | wc -w) * 3)) ]; do
  usleep 10000
done

# Links by partition name under each disk's controller, as ueventd makes
# them; /tmp/misc/SERIAL: the link to that disk's misc, and its first sector.
mkdir -p /tmp/misc /dev/socket
for disk in /sys/block/vd*; do
  links=/dev/block/platform/$(basename "$(readlink -f "$disk/device/..")")/by-name
  mkdir -p "$links"
  for part in "$disk"/vd*; do
    node=$(basename "$part")
    name=$(sed -n 's/^PARTNAME=//p' "$part/uevent")
    settle [ -b "/dev/$node" ]
    ln -s "/dev/$node" "$links/$name"
    [ "$name" != misc ] ||
      echo "$links/misc $(cat "$part/start")" > "/tmp/misc/$(cat "$disk/serial")"
  done
done

# map K: a run of ABI K's binary waits in its open of a FIFO while its
# mappings are read; then the FIFO is read.
map() {
  binary=/abis/$1/bootnote
  [ -p /tmp/fifo ] || mkfifo /tmp/fifo
  "$binary" /tmp/fifo x > /dev/null 2>&1 &
  pid=$!
  settle grep -q "$binary" "/proc/$pid/maps"
  echo "MAP $abi $(awk -v binary="$binary" '$NF == binary && !at { at = $1 }
    at && /^KernelPageSize:/ { sub(/-.*/, "", at); print at, $2; exit }' \
    "/proc/$pid/smaps" 2> /dev/null)"
  # Lets the run go on; bounded, in case it never came to its open.
  timeout 60 cat /tmp/fifo > /dev/null || true
  wait "$pid"
}

# run_case K NAME HOW DISK COMMAND: one case of ABI K.
run_case() {
  dir=/abis/$1 name=$2 how=$3 command=$5
  misc=$(cut -d' ' -f1 "/tmp/misc/$1-$4")
  set -- "$dir/bootnote" "$misc" "$command"
  case $how in
    old-kernel)
      set -- "$dir/guest_helper" old-kernel "$@"
      # Linux 3.10's 32-bit x86 vDSO had no clock functions: under the old
      # table the C library must find none either, and make the calls.
      [ ! -e /proc/sys/abi/vsyscall32 ] || echo 0 > /proc/sys/abi/vsyscall32
      ;;
    refuse-fsync-*)
      # The kernel answers the tool's fsync with that errno, on a real disk.
      set -- "$dir/guest_helper" refuse-fsync "${how#refuse-fsync-}" "$@"
      ;;
    held)
      # The holder opens misc first, so the tool's close is not its last
      # one, which would sync it whatever the tool did.
      sleep 100000 <> "$misc" &
      settle [ "$(readlink "/proc/$!/fd/0")" = "$(readlink -f "$misc")" ]
      ;;
  esac
  "$dir/guest_helper" logd /dev/socket/logdw > /tmp/log &
  logd=$!
  settle [ -S /dev/socket/logdw ]
  # Bounded: a run that hangs ends with status 143. (busybox's timeout
  # becomes the program, so the pid is the run's.)
  timeout 60 "$@" < /dev/null > /tmp/out 2> /tmp/err &
  pid=$!
  wait "$pid"
  status=$?
  [ ! -e /proc/sys/abi/vsyscall32 ] || echo 1 > /proc/sys/abi/vsyscall32
  kill "$logd"
  wait "$logd"
  echo "CASE $abi $name $status $pid $("$dir/guest_helper" hex < /tmp/out)" \
    "$("$dir/guest_helper" hex < /tmp/err)" \
    "$(dd if="$misc" bs=32 count=1 2> /dev/null | "$dir/guest_helper" hex)"
  sed "s/^/ENTRY $abi $name /" /tmp/log
}

for k in $abis; do
  abi=$(cat "/abis/$k/name")
  for disk in phone readonly flushfail; do echo "DISK $abi $disk $(cat "/tmp/misc/$k-$disk")"; done
  echo "ASLR $abi $(cat /proc/sys/kernel/randomize_va_space)" \
    "$(od -An -tx2 -j16 -N2 "/abis/$k/bootnote")"
  for _ in 1 2 3 4 5 6 7 8; do map "$k"; done
  while read -r name how disk command; do
    run_case "$k" "$name" "$how" "$disk" "$command"
  done < /cases
done
echo GUEST-DONE
sleep 100000
