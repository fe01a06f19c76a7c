#!/bin/sh
# Builds the release: the stripped device binary of every Android ABI, from
# what is committed, in a fresh tree; the module that installs the right one
# on a rooted phone; and their checksums.
#   scripts/release.sh     -> dist/bootnote-VERSION-ABI for armeabi-v7a,
#                             arm64-v8a, x86 and x86_64,
#                             dist/bootnote-VERSION-module.zip, dist/SHA256SUMS
#   RELEASE_URL=https://HOST/PATH scripts/release.sh
#                          -> also dist/update.json and dist/changelog.md, for
#                             the managers' updates from RELEASE_URL, where
#                             every file of dist/ is to be published
# VERSION is the VERSION file's: MAJOR.MINOR.PATCH, minor and patch below
# 100 (the module's versionCode is made of it). scripts/module_zip.py checks
# it and RELEASE_URL.
set -eu
cd "$(dirname "$0")/.."
if [ -n "$(git status --porcelain)" ]; then
  echo "release.sh: the work tree has changes; commit them first: a release is built from a commit" >&2
  exit 1
fi
scripts/install-deps.sh >&2
version=$(cat VERSION)

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
rm -f dist/update.json dist/changelog.md
names='' binaries=''
for build in $builds; do
  name=bootnote-$version-${build#*:}
  cp "$tree/build/${build%%:*}/bootnote" "dist/$name"
  names="$names $name" binaries="$binaries ${build#*:}=dist/$name"
done
module=bootnote-$version-module.zip
# shellcheck disable=SC2086 # one word per binary
"$tree/scripts/module_zip.py" --version "$version" --out "dist/$module" \
  ${RELEASE_URL:+--release-url "$RELEASE_URL" --update-json dist/update.json} $binaries
names="$names $module"
if [ -n "${RELEASE_URL-}" ]; then
  printf '# bootnote %s\n\nBuilt from commit %s. What it does and how to use it: README.md at that commit.\n' \
    "$version" "$(git rev-parse HEAD)" > dist/changelog.md
  names="$names update.json changelog.md"
fi
# shellcheck disable=SC2086 # one word per file name
(cd dist && sha256sum $names > SHA256SUMS)
echo "built from $(git rev-parse --short HEAD):"
cat dist/SHA256SUMS
