#!/bin/sh
# Builds the release: the stripped device binary of every Android ABI, from
# what is committed, in a fresh tree, and their checksums.
#   scripts/release.sh     -> dist/bootnote-VERSION-ABI for armeabi-v7a,
#                             arm64-v8a, x86 and x86_64; dist/SHA256SUMS
# VERSION is the VERSION file's, or else what git describe says.
set -eu
cd "$(dirname "$0")/.."
if [ -n "$(git status --porcelain)" ]; then
  echo "release.sh: the work tree has changes; commit them first: a release is built from a commit" >&2
  exit 1
fi
scripts/install-deps.sh >&2
version=$(cat VERSION 2>/dev/null || git describe --tags --always)

tree=$(mktemp -d /tmp/bootnote-release-XXXXXX)
trap 'rm -rf "$tree"' EXIT
git archive HEAD | tar -xf - -C "$tree"

# Each device preset and the ABI its binary is named after.
builds="android-armv7:armeabi-v7a android-arm64:arm64-v8a android-x86:x86 android-x86_64:x86_64"
presets=
for build in $builds; do presets="$presets ${build%%:*}"; done
# shellcheck disable=SC2086 # one word per preset
"$tree/scripts/build-presets.sh" -S "$tree" $presets >/dev/null

mkdir -p dist
names=
for build in $builds; do
  name=bootnote-$version-${build#*:}
  cp "$tree/build/${build%%:*}/bootnote" "dist/$name"
  names="$names $name"
done
# shellcheck disable=SC2086 # one word per file name
(cd dist && sha256sum $names > SHA256SUMS)
echo "built from $(git rev-parse --short HEAD):"
cat dist/SHA256SUMS
