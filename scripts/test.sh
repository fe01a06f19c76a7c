#!/bin/sh
# The whole test suite, both builds: installs what is missing, builds the
# host and the device binaries with warnings as errors, runs every test.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh

for preset in host android-armv7; do
  cmake --preset "$preset" -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
  cmake --build --preset "$preset" --parallel 2
done
ctest --preset all
