#!/bin/sh
# The main job on a sample: builds the device binary, runs it under qemu-arm
# on a sample misc image with a private /dev holding a logd socket, and shows
# the image's first bytes before and after and the log lines.
#   scripts/demo.sh [-B BUILD_ROOT] [COMMAND]      (default: boot-recovery)
# -B BUILD_ROOT  build in BUILD_ROOT/PRESET and keep the sample image in
#                BUILD_ROOT/demo (default: build/PRESET and build/demo)
set -eu
cd "$(dirname "$0")/.."
build_root=build
if [ "${1-}" = -B ]; then
  [ $# -ge 2 ] || { echo "usage: $0 [-B BUILD_ROOT] [COMMAND]" >&2; exit 2; }
  build_root=$2
  shift 2
fi
command=${1-boot-recovery}
scripts/install-deps.sh >&2
scripts/build-presets.sh -B "$build_root" android-armv7 host >/dev/null
bootnote=$build_root/android-armv7/bootnote

demo=$build_root/demo
mkdir -p "$demo"
image=$demo/misc.img
# A misc partition's start: an old command at 0, other data after byte 14.
{ printf 'bootonce-bootl'; printf 'other data of the partition kept here'; } > "$image"
head -c 64 /dev/zero >> "$image"

show() { echo "$1:"; od -A d -t x1z -N 48 "$image"; }
show "first bytes of $image before"
echo "\$ qemu-arm $bootnote $image $command"
tests/e2e/logcat.py -- qemu-arm "$bootnote" "$image" "$command"
show "first bytes of $image after"
