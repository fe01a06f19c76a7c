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
# 100 (the module's versionCode is made of it). VERSION and RELEASE_URL are
# checked before anything is built, and the release is made in a fresh
# directory that replaces dist/ only once all of it is there: a release that
# fails leaves dist/ as it was.
set -eu
cd "$(dirname "$0")/.."
changes=$(git status --porcelain)  # a git that fails stops the release here
if [ -n "$changes" ]; then
  echo "release.sh: the work tree has changes; commit them first: a release is built" \
    "from a commit" >&2
  exit 1
fi
# One run at a time in a tree: another's .dist-next-* is not stale.
exec 9< scripts/release.sh
if ! flock -n 9; then
  echo "release.sh: another scripts/release.sh is running in $PWD; wait for it to end" >&2
  exit 1
fi
# What a run that was killed left beside dist/: the dist/ it had moved aside
# goes back, whole; anything else is half made and goes.
for stale in .dist-next-*; do
  if [ ! -e "$stale" ]; then continue; fi
  if [ ! -e dist ] && [ "${stale%.old}" != "$stale" ]; then
    mv "$stale" dist
  else
    rm -rf "$stale"
  fi
done
# First, as the check runs python3, which a new machine may lack; it builds
# nothing.
scripts/install-deps.sh >&2
version=$(cat VERSION)
scripts/module_zip.py --check --version "$version" ${RELEASE_URL:+--release-url "$RELEASE_URL"}

tree=$(mktemp -d /tmp/bootnote-release-XXXXXX)
trap 'rm -rf "$tree"' EXIT
# The next dist/, beside it so that it moves into place with a rename.
next=$(mktemp -d "$PWD/.dist-next-XXXXXX")
chmod "$(umask -S)" "$next"  # mktemp makes it 0700; a dist/ there keeps its own mode
# However the run ends, dist/ is whole and alone: the new one, or the old
# one, put back where the run ended between the two renames below.
finish() {
  rm -rf "$tree" "$next"
  if [ -e dist ]; then rm -rf "$next.old"; elif [ -d "$next.old" ]; then mv "$next.old" dist; fi
}
trap finish EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
git archive HEAD | tar -xf - -C "$tree"

# Each device preset and the ABI its binary is named after.
builds="android-armv7:armeabi-v7a android-arm64:arm64-v8a android-x86:x86 android-x86_64:x86_64"
presets=
for build in $builds; do presets="$presets ${build%%:*}"; done
# shellcheck disable=SC2086 # one word per preset
"$tree/scripts/build-presets.sh" -S "$tree" $presets >/dev/null

# What dist/ held stays, but a previous release's update.json and changelog.md.
[ ! -d dist ] || cp -a dist/. "$next/"
rm -f "$next/update.json" "$next/changelog.md"
names='' binaries=''
for build in $builds; do
  name=bootnote-$version-${build#*:}
  cp "$tree/build/${build%%:*}/bootnote" "$next/$name"
  names="$names $name" binaries="$binaries ${build#*:}=$next/$name"
done
module=bootnote-$version-module.zip
# shellcheck disable=SC2086 # one word per binary
"$tree/scripts/module_zip.py" --version "$version" --out "$next/$module" \
  ${RELEASE_URL:+--release-url "$RELEASE_URL" --update-json "$next/update.json"} $binaries
names="$names $module"
if [ -n "${RELEASE_URL-}" ]; then
  about='What it does and how to use it: README.md at that commit.'
  printf '# bootnote %s\n\nBuilt from commit %s. %s\n' "$version" "$(git rev-parse HEAD)" "$about" \
    > "$next/changelog.md"
  names="$names update.json changelog.md"
fi
# shellcheck disable=SC2086 # one word per file name
(cd "$next" && sha256sum $names > SHA256SUMS)
[ ! -d dist ] || mv dist "$next.old"
mv "$next" dist
echo "built from $(git rev-parse --short HEAD):"
cat dist/SHA256SUMS
