#!/bin/sh
# Builds the release: the stripped device binary, from what is committed, in
# a fresh tree, and its checksum.
#   scripts/release.sh     -> dist/bootnote-VERSION-armeabi-v7a, dist/SHA256SUMS
# VERSION is the VERSION file's, or else what git describe says.
set -eu
cd "$(dirname "$0")/.."
if [ -n "$(git status --porcelain)" ]; then
  echo "release.sh: the work tree has changes; commit them first: a release is built from a commit" >&2
  exit 1
fi
scripts/install-deps.sh >&2
version=$(cat VERSION 2>/dev/null || git describe --tags --always)
name=bootnote-$version-armeabi-v7a

tree=$(mktemp -d /tmp/bootnote-release-XXXXXX)
trap 'rm -rf "$tree"' EXIT
git archive HEAD | tar -xf - -C "$tree"
cmake --preset android-armv7 -S "$tree" >/dev/null
cmake --build "$tree/build/android-armv7" --parallel 2 >/dev/null

mkdir -p dist
cp "$tree/build/android-armv7/bootnote" "dist/$name"
(cd dist && sha256sum "$name" > SHA256SUMS)
echo "built from $(git rev-parse --short HEAD):"
cat dist/SHA256SUMS
