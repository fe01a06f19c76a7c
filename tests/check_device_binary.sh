#!/bin/sh
# Checks that a device build is what ships for its Android ABI: one static,
# position-independent executable for the ABI's machine; no interpreter, no
# needed library, no text relocation, no executable stack or writable code;
# segments aligned for the ABI's largest page size; on ARMv7, the ARMv7-A,
# Thumb-2, VFPv3 and NEON attributes; stack canaries in the project's own
# code (read from BINARY.sym, its unstripped twin); small.
#   check_device_binary.sh ABI BINARY MAX_BYTES
# ABI: armeabi-v7a, arm64-v8a, x86 or x86_64.
set -u
align=16384
abi=$1 binary=$2 max_bytes=$3
failures=0
fail() { echo "FAIL: $binary: $*"; failures=$((failures + 1)); }

# What each ABI's binary must be. tools: Debian's binutils for it. machine:
# readelf's name for e_machine. call: the instruction that calls
# __stack_chk_fail. Every ABI's LOAD segments are aligned for 16 KiB pages,
# which recent ARM phones (32-bit programs included) and x86_64 emulator
# images may use.
case $abi in
  armeabi-v7a) tools=arm-linux-gnueabihf class=ELF32 machine='ARM'         call=bl ;;
  arm64-v8a)   tools=aarch64-linux-gnu   class=ELF64 machine='AArch64'     call=bl ;;
  x86)         tools=i686-linux-gnu      class=ELF32 machine='Intel 80386' call=call ;;
  x86_64)      tools=x86_64-linux-gnu    class=ELF64 machine='Advanced Micro Devices X86-64' \
               call=call ;;
  *) echo "FAIL: unknown ABI \"$abi\""; exit 1 ;;
esac
readelf=$tools-readelf objdump=$tools-objdump
for tool in "$readelf" "$objdump"; do
  command -v "$tool" >/dev/null ||
    { echo "FAIL: $tool not found (scripts/install-deps.sh installs it)"; exit 1; }
done

[ -f "$binary" ] || { echo "FAIL: $binary not built (scripts/build-presets.sh PRESET)"; exit 1; }
headers=$("$readelf" -lhdW "$binary") || { echo "FAIL: $readelf cannot read $binary"; exit 1; }

echo "$headers" | grep -q "Class: *$class\$" || fail "not $class"
echo "$headers" | grep -q "Machine: *$machine\$" || fail "machine is not $machine"
echo "$headers" | grep -q 'Type: *DYN (Position-Independent Executable' ||
  fail "not a position-independent executable"
echo "$headers" | grep -q 'INTERP' && fail "has a program interpreter (not static)"
echo "$headers" | grep -q 'NEEDED' && fail "needs a shared library"
echo "$headers" | grep -q 'TEXTREL' && fail "has text relocations"
echo "$headers" | grep -q 'GNU_STACK.* RW  ' || fail "stack not marked non-executable"
loads=$(echo "$headers" | grep -E '^ *LOAD ')
[ -n "$loads" ] || fail "no LOAD segment"
echo "$loads" | grep -q ' RWE ' && fail "a segment is both writable and executable"
# The last field of a LOAD line is its alignment, in hexadecimal.
for segment_align in $(echo "$loads" | awk '{ print $NF }'); do
  [ "$((segment_align))" -ge "$align" ] ||
    fail "a LOAD segment is aligned to $((segment_align)) bytes, less than $align"
done

# ARM executables say which instruction set they need; the others' carry no
# such note (musl's objects have none, so the linker writes none).
if [ "$abi" = armeabi-v7a ]; then
  echo "$headers" | grep -q 'Flags:.*Version5 EABI, hard-float ABI' || fail "not EABI5 hard-float"
  attributes=$("$readelf" -A "$binary")
  for tag in 'Tag_CPU_arch: v7$' \
             'Tag_CPU_arch_profile: Application' \
             'Tag_THUMB_ISA_use: Thumb-2' \
             'Tag_FP_arch: VFPv3' \
             'Tag_Advanced_SIMD_arch: NEON'; do
    echo "$attributes" | grep -q "$tag" || fail "attribute missing: $tag"
  done
fi

# Functions whose code calls __stack_chk_fail, i.e. that check a canary. An
# i386 PIE may call it by its local alias.
guarded=$("$objdump" -d --no-show-raw-insn "$binary.sym" 2>/dev/null |
  awk -v call="$call" '/^[0-9a-f]+ <.*>:$/ { name = $2 }
    $2 == call && $NF ~ /^<__stack_chk_fail(_local)?>$/ { print name }')
for function in '<main>:' '<__android_log_vprint>:'; do
  echo "$guarded" | grep -qxF "$function" || fail "no stack canary in $function (from $binary.sym)"
done

size=$(wc -c < "$binary")
[ "$size" -le "$max_bytes" ] || fail "$size bytes, more than $max_bytes"

echo "$binary ($abi): $size bytes (limit $max_bytes), $failures failure(s)"
[ "$failures" -eq 0 ]
