#!/bin/sh
# Builds the device binary again from a copy of the source tree at another
# path and fails unless the stripped file is the same, byte for byte.
#   check_reproducible.sh SOURCE_DIR BINARY
set -eu
source_dir=$1 binary=$2
[ -f "$binary" ] || { echo "FAIL: $binary not built (cmake --build --preset android-armv7)"; exit 1; }
elsewhere=$(mktemp -d /tmp/bootnote-rebuild-XXXXXX)
trap 'rm -rf "$elsewhere"' EXIT
copy=$elsewhere/another/checkout
mkdir -p "$copy"
# What a clone holds, with the work tree's changes: tracked and new files;
# outside git, everything but the build trees.
if git -C "$source_dir" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git -C "$source_dir" ls-files -z --cached --others --exclude-standard |
    (cd "$source_dir" && xargs -0 tar -cf - --no-recursion) | tar -xf - -C "$copy"
else
  tar -cf - -C "$source_dir" --exclude=./build --exclude=./dist . | tar -xf - -C "$copy"
fi
cmake --preset android-armv7 -S "$copy" >/dev/null
cmake --build "$copy/build/android-armv7" --parallel 2 >/dev/null
first=$(sha256sum < "$binary" | cut -d' ' -f1)
second=$(sha256sum < "$copy/build/android-armv7/bootnote" | cut -d' ' -f1)
echo "$binary: $first"
echo "rebuilt at $copy: $second"
if [ "$first" != "$second" ]; then
  echo "FAIL: the device binary depends on where it is built"
  exit 1
fi
