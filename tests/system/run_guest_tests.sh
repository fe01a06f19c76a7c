#!/bin/sh
# Runs the unchanged device binary on a real ARM Linux kernel: Debian's armhf
# kernel in qemu-system-arm, on a Cortex-A9 (vexpress-a9, the class of most
# API-18 phones) and a Cortex-A15 (virt), one boot each. The guest's disks
# are a GPT disk laid out like a phone's, a read-only copy, and a copy whose
# flushes fail; init makes /dev/block/platform/<soc>/by-name links as
# ueventd does. Every case's exit status, output, log entries and bytes are
# checked here, on the host, and so are the disks afterwards. The boot ends
# in a power cut: qemu is killed right after a write, with writeback held off
# and another process holding the partition open.
#   run_guest_tests.sh DEVICE_BINARY GUEST_HELPER CACHE_DIR
set -eu
binary=$1 helper=$2 cache=$3
passed=0 failed=0
pass() { passed=$((passed + 1)); }
fail() { echo "FAIL: $machine: $*"; failed=$((failed + 1)); }
hex() { od -An -v -tx1 | tr -d ' \n'; }

# The kernel, its device tree and virtio modules, and busybox, from Debian's
# archive, downloaded once into the cache.
mkdir -p "$cache"
if [ ! -f "$cache/ready" ]; then
  package=$(apt-cache depends linux-image-armmp:armhf | sed -n 's/^ *Depends: //p' | head -1)
  (cd "$cache" && rm -rf debs root && mkdir debs root && cd debs && apt-get download -q "$package" busybox-static:armhf >/dev/null 2>&1)
  for deb in "$cache"/debs/*.deb; do dpkg-deb -x "$deb" "$cache/root"; done
  touch "$cache/ready"
fi
root=$cache/root
kernel=$(ls "$root"/boot/vmlinuz-*)
modules=$(ls -d "$root"/lib/modules/*)/kernel/drivers

work=$(mktemp -d)
qemu_pid=
trap '[ -z "$qemu_pid" ] || kill -9 "$qemu_pid" 2>/dev/null; rm -rf "$work"' EXIT

# The guest's root: busybox, the binary, the helper, the modules and init.
mkdir -p "$work/initrd/bin" "$work/initrd/proc" "$work/initrd/sys" "$work/initrd/dev" "$work/initrd/tmp"
cp "$root/bin/busybox" "$work/initrd/bin/busybox"
cp "$binary" "$work/initrd/bootnote"
cp "$helper" "$work/initrd/guest_helper"
cp "$modules/virtio/virtio_mmio.ko" "$modules/block/virtio_blk.ko" "$work/initrd/"
cat > "$work/initrd/init" <<'INIT'
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev; mount -t tmpfs tmp /tmp
echo 1000000 > /proc/sys/kernel/printk_ratelimit_burst
# No writeback but what the tool forces: the power cut must find only that.
echo 360000 > /proc/sys/vm/dirty_expire_centisecs
echo 360000 > /proc/sys/vm/dirty_writeback_centisecs
insmod /virtio_mmio.ko; insmod /virtio_blk.ko
while [ "$(ls -d /sys/block/vd* 2>/dev/null | wc -l)" -lt 3 ]; do usleep 10000; done
mdev -s 2>/dev/null || true
# Links by partition name, as ueventd makes them; disks found by serial.
for disk in /sys/block/vd*; do
  soc=$(basename "$(readlink -f "$disk/device/..")")
  mkdir -p "/dev/block/platform/$soc/by-name"
  for part in "$disk"/vd*; do
    name=$(sed -n 's/^PARTNAME=//p' "$part/uevent")
    ln -s "/dev/$(basename "$part")" "/dev/block/platform/$soc/by-name/$name"
  done
  eval "misc_$(cat "$disk/serial")=/dev/block/platform/$soc/by-name/misc"
done
mkdir -p /dev/socket
echo "MISC $misc_phone $misc_readonly $misc_flushfail"

# run NAME [kernel-log] COMMAND...: the run's status, output, log and the
# misc partition's first 32 bytes.
run() {
  name=$1; shift
  if [ "$1" = kernel-log ]; then
    shift; mkdir -p /dev/log; : > /dev/log/main
  else
    /guest_helper logd /dev/socket/logdw > /tmp/log & logd=$!
    while [ ! -S /dev/socket/logdw ]; do usleep 1000; done
  fi
  "$@" > /tmp/out 2> /tmp/err & pid=$!
  wait $pid; status=$?
  if [ -e /dev/log/main ]; then
    /guest_helper kernel-log < /dev/log/main > /tmp/log; rm -r /dev/log
  else
    kill $logd; wait $logd
  fi
  echo "CASE $name $status x$(/guest_helper hex < /tmp/out) x$(/guest_helper hex < /tmp/err)"
  sed "s/^/LOG $name /" /tmp/log
  echo "BYTES $name $(dd if="$misc_phone" bs=32 count=1 2>/dev/null | /guest_helper hex)"
}
# The calls the kernel logged for the last run, by number.
calls() { echo "CALLS $1$(dmesg | grep "type=1326" | grep " pid=$pid " | sed -n 's/.* syscall=\([0-9]*\) .*/ \1/p' | tr -d '\n')"; }

run write /bootnote "$misc_phone" boot-recovery
run command_14_bytes /bootnote "$misc_phone" bootonce-bootl
run command_20_bytes /bootnote "$misc_phone" boot-recovery-wipe12
run erase /bootnote "$misc_phone"
run usage /bootnote
run unopenable /bootnote /dev/block/platform/none/by-name/misc boot-recovery
run kernel_logger kernel-log /bootnote "$misc_phone" boot-recovery
run read_only /bootnote "$misc_readonly" boot-recovery
run flush_fails /bootnote "$misc_flushfail" boot-recovery
run linux30_write /guest_helper linux30 /bootnote "$misc_phone" bootonce-bootl; calls linux30_write
run linux30_erase /guest_helper linux30 /bootnote "$misc_phone"
run linux30_usage /guest_helper linux30 /bootnote
run linux30_unopenable /guest_helper linux30 /bootnote /dev/block/platform/none/by-name/misc
# Where the kernel loads the binary, twice: each run waits in its open of a
# FIFO while its mappings are read.
mkfifo /tmp/fifo
for i in 1 2; do
  /bootnote /tmp/fifo x > /dev/null & pid=$!
  until grep -q /bootnote "/proc/$pid/maps" 2>/dev/null; do usleep 1000; done
  echo "BASE $(grep -m1 /bootnote "/proc/$pid/maps" | cut -d- -f1)"
  exec 4< /tmp/fifo; exec 4<&-; wait $pid
done
# The power cut: a holder keeps the partition open, as daemons may; nothing
# syncs but the tool.
sleep 100000 <> "$misc_phone" &
run power_cut /bootnote "$misc_phone" boot-powercut
echo "GUEST-DONE"
sleep 100000
INIT
chmod +x "$work/initrd/init"
(cd "$work/initrd" && find . | cpio -o -H newc --quiet | gzip -1) > "$work/initrd.gz"

# A phone's disk: random bytes under a GPT with the usual partitions.
misc_start=4096  # sectors
make_disk() {
  head -c $((8192 * 512)) /dev/urandom > "$1"
  printf '%s\n' 'label: gpt' 'start=2048, size=2048, name=boot' "start=$misc_start, size=64, name=misc" \
    'start=4160, size=2048, name=system' 'start=6208, size=1900, name=cache' |
    sfdisk --quiet --wipe never --wipe-partitions never "$1" >/dev/null
}

# expect NAME STATUS STDOUT STDERR BYTES ENTRY...: one case's lines; BYTES is
# the misc partition's first 32 bytes, "-" for not checked.
expect() {
  name=$1 status=$2 out=$3 err=$4 bytes=$5 failures_before=$failed
  shift 5
  line="CASE $name $status x$(printf '%b' "$out" | hex) x$(printf '%b' "$err" | hex)"
  grep -qxF "$line" "$console" || fail "$name: expected \"$line\", got \"$(grep "^CASE $name " "$console")\""
  got=$(grep "^LOG $name " "$console" | sed "s/^LOG $name //")
  want=$(for entry in "$@"; do printf '%s\n' "$entry"; done)
  [ "$got" = "$want" ] || fail "$name: log entries \"$got\", expected \"$want\""
  if [ "$bytes" != - ]; then
    line="BYTES $name $(printf '%b' "$bytes" | hex)"
    grep -qxF "$line" "$console" || fail "$name: misc starts $(grep "^BYTES $name " "$console"), expected $line"
  fi
  [ "$failed" -gt "$failures_before" ] || pass
}

banner='\n----------------------------------------------\n-------- bootnote by bootnote.example --------\n----------------------------------------------\n'
usage='\nUsage : bootnote <path of misc> <boot command>\n\n'
proof='linux30: 403 -> ENOSYS, 263 -> ok\n'

for machine in vexpress-a9 virt; do
  case $machine in
    vexpress-a9) soc_args="-M vexpress-a9 -dtb $(ls "$root"/usr/lib/linux-image-*/vexpress-v2p-ca9.dtb)" ;;
    virt) soc_args="-M virt -cpu cortex-a15" ;;
  esac
  mkdir -p "$work/$machine"
  disk=$work/$machine/phone.img
  make_disk "$disk"
  cp "$disk" "$disk.before"
  cp "$disk" "$work/$machine/readonly.img"
  cp "$disk" "$work/$machine/flushfail.img"
  printf '[inject-error]\nevent = "flush_to_os"\nerrno = "5"\n' > "$work/$machine/flush.rules"
  console=$work/$machine/console.log
  rm -f "$work/serial"; mkfifo "$work/serial"
  started=$(date +%s)
  # virtio-mmio disks appear in reverse order: init finds them by serial.
  # shellcheck disable=SC2086
  qemu-system-arm $soc_args -m 256 -nic none -display none -audiodev none,id=silent \
    -serial stdio -monitor none -no-reboot \
    -kernel "$kernel" -initrd "$work/initrd.gz" -append "console=ttyAMA0 loglevel=1 panic=-1" \
    -drive "if=none,id=phone,format=raw,file=$disk" -device virtio-blk-device,drive=phone,serial=phone \
    -drive "if=none,id=readonly,format=raw,readonly=on,file=$work/$machine/readonly.img" \
    -device virtio-blk-device,drive=readonly,serial=readonly \
    -drive "if=none,id=flushfail,format=raw,file=blkdebug:$work/$machine/flush.rules:$work/$machine/flushfail.img" \
    -device virtio-blk-device,drive=flushfail,serial=flushfail < /dev/null > "$work/serial" 2>/dev/null &
  qemu_pid=$!
  (sleep 60; kill -9 "$qemu_pid") >/dev/null 2>&1 &
  watchdog=$!
  # The power cut: SIGKILL the moment the guest is done, no shutdown.
  while IFS= read -r line; do
    printf '%s\n' "$line" >> "$console"
    case $line in GUEST-DONE*) kill -9 "$qemu_pid" ;; esac
  done < "$work/serial"
  wait "$qemu_pid" 2>/dev/null || true
  kill "$watchdog" 2>/dev/null || true
  qemu_pid=
  tr -d '\r' < "$console" > "$console.txt"
  console=$console.txt
  grep -q '^GUEST-DONE' "$console" || { fail "the guest did not finish in 60 s; its console:"; cat "$console"; continue; }
  echo "$machine: booted and ran in $(($(date +%s) - started)) s"
  set -- $(sed -n 's/^MISC //p' "$console")
  misc=$1 ro=\"$2\" ff=\"$3\"

  # Bytes 14 to 31 of misc as they were, as printf %b escapes.
  rest=$(dd if="$disk.before" bs=1 skip=$((misc_start * 512 + 14)) count=18 2>/dev/null | od -An -v -to1 |
    sed 's/ /\\0/g' | tr -d '\n')
  expect write 0 "$banner" "" "boot-recovery\0$rest" "4 bootnote Writeing boot coommand \"boot-recovery\" from partition \"$misc\"\n"
  expect command_14_bytes 0 "$banner" "" "bootonce-bootl$rest" "4 bootnote Writeing boot coommand \"bootonce-bootl\" from partition \"$misc\"\n"
  expect command_20_bytes 0 "$banner" "" "boot-recovery-$rest" "4 bootnote Writeing boot coommand \"boot-recovery-\" from partition \"$misc\"\n"
  expect erase 0 "$banner" "" "\0\0\0\0\0\0\0\0\0\0\0\0\0\0$rest" "4 bootnote Eraseing boot coommand to partition $misc\n"
  expect usage 0 "$banner$usage" "" - '6 bootnote ERROR : Usage : bootnote <path of misc> <boot command>\n'
  none=/dev/block/platform/none/by-name/misc
  expect unopenable 0 "$banner" "" - "4 bootnote Writeing boot coommand \"boot-recovery\" from partition \"$none\"\n" \
    "6 bootnote ERROR : partition not found \"$none\"\n"
  expect kernel_logger 0 "$banner" "" "boot-recovery\0$rest" "4 bootnote Writeing boot coommand \"boot-recovery\" from partition \"$misc\"\n"
  expect read_only 0 "$banner" "" - "4 bootnote Writeing boot coommand \"boot-recovery\" from partition $ro\n" \
    "6 bootnote ERROR : write failed on partition $ro : Operation not permitted\n"
  expect flush_fails 0 "$banner" "" - "4 bootnote Writeing boot coommand \"boot-recovery\" from partition $ff\n" \
    "6 bootnote ERROR : write failed on partition $ff : I/O error\n"
  expect linux30_write 0 "$banner" "$proof" "bootonce-bootl$rest" "4 bootnote Writeing boot coommand \"bootonce-bootl\" from partition \"$misc\"\n"
  expect linux30_erase 0 "$banner" "$proof" "\0\0\0\0\0\0\0\0\0\0\0\0\0\0$rest" "4 bootnote Eraseing boot coommand to partition $misc\n"
  expect linux30_usage 0 "$banner$usage" "$proof" - '6 bootnote ERROR : Usage : bootnote <path of misc> <boot command>\n'
  expect linux30_unopenable 0 "$banner" "$proof" - "4 bootnote Eraseing boot coommand to partition $none\n" \
    "6 bootnote ERROR : partition not found \"$none\"\n"
  expect power_cut 0 "$banner" "" "boot-powercut\0$rest" "4 bootnote Writeing boot coommand \"boot-powercut\" from partition \"$misc\"\n"
  # As the ARM kernel saw them: the helper's proof (403 refused, 263) and its
  # report (writev), then the tool from execve on: set_tls (0xf0005),
  # set_tid_address, rt_sigaction, socket, connect, openat of /dev/pmsg0,
  # clock_gettime64 refused, clock_gettime, writev, openat, write, fsync,
  # close, writev, exit_group.
  calls="CALLS linux30_write 403 263 146 11 983045 256 174 281 283 322 403 263 146 322 4 118 6 146 248"
  if grep -qxF "$calls" "$console"; then pass; else fail "system calls: $(grep '^CALLS' "$console"), expected $calls"; fi

  bases=$(sed -n 's/^BASE //p' "$console" | sort -u | wc -l)
  if [ "$bases" -eq 2 ]; then pass; else fail "load address the same in two runs: $(grep '^BASE' "$console" | tr '\n' ' ')"; fi
  # After the power cut the disk holds the last record; nothing else changed.
  changed=$(cmp -l "$disk.before" "$disk" | awk -v lo=$((misc_start * 512 + 1)) -v hi=$((misc_start * 512 + 14)) \
    '$1 < lo || $1 > hi { n++ } END { print n + 0 }')
  record=$(dd if="$disk" bs=1 skip=$((misc_start * 512)) count=14 2>/dev/null | hex)
  if [ "$changed" -eq 0 ] && [ "$record" = "$(printf 'boot-powercut\0' | hex)" ]; then pass; else
    fail "after the power cut: misc starts $record, $changed bytes changed outside it"; fi
  if cmp -s "$disk.before" "$work/$machine/readonly.img"; then pass; else fail "the read-only disk changed"; fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
