#!/bin/sh
# The whole test suite, both builds: installs what is missing, builds the
# host and device binaries with warnings as errors, and runs every test: unit
# and end-to-end tests (host, and device under qemu-arm), the fault cases,
# the sanitizer build, valgrind, and a bounded fuzz run.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh

for preset in host android-armv7 host-asan fuzz; do
  cmake --preset "$preset" -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
  cmake --build --preset "$preset" --parallel 2
done
status=0
for preset in host-asan fuzz all; do
  ctest --preset "$preset" || status=1
done
echo "fault figures (host, device under qemu-arm):"
grep -h '^fault injection:' build/host/Testing/Temporary/LastTest.log || status=1
exit "$status"
