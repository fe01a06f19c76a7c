#!/bin/sh
# Builds a device preset again from a copy of the source tree at another path
# and fails unless the stripped binary is the same, byte for byte, as BINARY,
# that preset's build of the tree at SOURCE_DIR.
#   check_reproducible.sh SOURCE_DIR PRESET BINARY
set -eu
source_dir=$1 preset=$2 binary=$3
[ -f "$binary" ] || { echo "FAIL: $binary not built (scripts/build-presets.sh $preset)"; exit 1; }
elsewhere=$(mktemp -d /tmp/bootnote-rebuild-XXXXXX)
trap 'rm -rf "$elsewhere"' EXIT
copy=$elsewhere/another/checkout
mkdir -p "$copy"
# What a clone holds, with the work tree's changes: tracked and new files (a
# deleted one is left out, with a warning); outside git, everything but the
# build trees.
if git -C "$source_dir" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git -C "$source_dir" ls-files -z --cached --others --exclude-standard |
    (cd "$source_dir" && xargs -0 tar -cf - --no-recursion --ignore-failed-read) |
    tar -xf - -C "$copy"
else
  tar -cf - -C "$source_dir" --exclude=./build --exclude=./dist . | tar -xf - -C "$copy"
fi
# scripts/test.sh installs, once a run.
printf '#!/bin/sh\n' > "$copy/scripts/install-deps.sh"
"$copy/scripts/build-presets.sh" -S "$copy" "$preset" >/dev/null
first=$(sha256sum < "$binary" | cut -d' ' -f1)
second=$(sha256sum < "$copy/build/$preset/bootnote" | cut -d' ' -f1)
echo "$binary: $first"
echo "rebuilt at $copy: $second"
if [ "$first" != "$second" ]; then
  echo "FAIL: the $preset binary depends on where it is built"
  exit 1
fi
