#!/bin/sh
# Checks that the device build is what ships: one static ARMv7-A executable
# with Thumb-2, VFPv3 and NEON, no interpreter, no needed library, small.
#   check_device_binary.sh READELF BINARY MAX_BYTES
set -u
readelf=$1 binary=$2 max_bytes=$3
failures=0
fail() { echo "FAIL: $binary: $*"; failures=$((failures + 1)); }

[ -f "$binary" ] || { echo "FAIL: $binary not built (cmake --build --preset android-armv7)"; exit 1; }
headers=$("$readelf" -lhdW "$binary") || { echo "FAIL: readelf cannot read $binary"; exit 1; }
attributes=$("$readelf" -A "$binary")

echo "$headers" | grep -q 'Machine: *ARM$' || fail "not an ARM executable"
echo "$headers" | grep -q 'Type: *EXEC' || fail "not an executable"
echo "$headers" | grep -q 'INTERP' && fail "has a program interpreter (not static)"
echo "$headers" | grep -q 'NEEDED' && fail "needs a shared library"
for tag in 'Tag_CPU_arch: v7$' 'Tag_CPU_arch_profile: Application' \
           'Tag_THUMB_ISA_use: Thumb-2' 'Tag_FP_arch: VFPv3' 'Tag_Advanced_SIMD_arch: NEON'; do
  echo "$attributes" | grep -q "$tag" || fail "attribute missing: $tag"
done
size=$(wc -c < "$binary")
[ "$size" -le "$max_bytes" ] || fail "$size bytes, more than $max_bytes"

echo "$binary: $size bytes (limit $max_bytes), $failures failure(s)"
[ "$failures" -eq 0 ]
