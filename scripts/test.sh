#!/bin/sh
# The whole test suite, every build: installs what is missing (in
# build-presets.sh, once a run), builds the host binary and the four device
# binaries with warnings as errors, and runs every test: unit tests; the
# end-to-end and fault cases against the host build and each device build
# (under qemu where it needs it); the device binaries' ELF and
# reproducibility checks; the guests; the sanitizer build, valgrind and a
# bounded fuzz run. Ends with the fault figures of each build.
set -eu
cd "$(dirname "$0")/.."
scripts/build-presets.sh --werror host android-armv7 android-arm64 android-x86 android-x86_64 \
  host-asan fuzz
status=0
for preset in host-asan fuzz all; do
  ctest --preset "$preset" || status=1
done
echo "fault figures (host, then each device build):"
grep -h '^fault injection:' build/host/Testing/Temporary/LastTest.log || status=1
exit "$status"
