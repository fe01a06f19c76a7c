#!/bin/sh
# Checks that the device build is what ships: one static, position-independent
# ARMv7-A executable with Thumb-2, VFPv3 and NEON; no interpreter, no needed
# library, no text relocation, no executable stack or writable code; stack
# canaries in the project's own code (read from BINARY.sym, its unstripped
# twin); small.
#   check_device_binary.sh READELF OBJDUMP BINARY MAX_BYTES
set -u
readelf=$1 objdump=$2 binary=$3 max_bytes=$4
failures=0
fail() { echo "FAIL: $binary: $*"; failures=$((failures + 1)); }

[ -f "$binary" ] || { echo "FAIL: $binary not built (cmake --build --preset android-armv7)"; exit 1; }
headers=$("$readelf" -lhdW "$binary") || { echo "FAIL: readelf cannot read $binary"; exit 1; }
attributes=$("$readelf" -A "$binary")

echo "$headers" | grep -q 'Machine: *ARM$' || fail "not an ARM executable"
echo "$headers" | grep -q 'Type: *DYN (Position-Independent Executable' || fail "not a position-independent executable"
echo "$headers" | grep -q 'INTERP' && fail "has a program interpreter (not static)"
echo "$headers" | grep -q 'NEEDED' && fail "needs a shared library"
echo "$headers" | grep -q 'TEXTREL' && fail "has text relocations"
echo "$headers" | grep -q 'GNU_STACK.* RW  ' || fail "stack not marked non-executable"
echo "$headers" | grep -E '^ *LOAD ' | grep -q ' RWE ' && fail "a segment is both writable and executable"
for tag in 'Tag_CPU_arch: v7$' 'Tag_CPU_arch_profile: Application' \
           'Tag_THUMB_ISA_use: Thumb-2' 'Tag_FP_arch: VFPv3' 'Tag_Advanced_SIMD_arch: NEON'; do
  echo "$attributes" | grep -q "$tag" || fail "attribute missing: $tag"
done

# Functions whose code calls __stack_chk_fail, i.e. that check a canary.
guarded=$("$objdump" -d --no-show-raw-insn "$binary.sym" 2>/dev/null |
  awk '/^[0-9a-f]+ <.*>:$/ { name = $2 } /bl.*<__stack_chk_fail>/ { print name }')
for function in '<main>:' '<__android_log_vprint>:'; do
  echo "$guarded" | grep -qxF "$function" || fail "no stack canary in $function (from $binary.sym)"
done

size=$(wc -c < "$binary")
[ "$size" -le "$max_bytes" ] || fail "$size bytes, more than $max_bytes"

echo "$binary: $size bytes (limit $max_bytes), $failures failure(s)"
[ "$failures" -eq 0 ]
