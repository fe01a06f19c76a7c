#!/bin/sh
# The main job on a sample: builds the device binary, runs it under qemu-arm
# on a sample misc image with a private /dev holding a logd socket, and shows
# the image's first bytes before and after and the log lines.
#   scripts/demo.sh [COMMAND]      (default: boot-recovery)
set -eu
cd "$(dirname "$0")/.."
command=${1-boot-recovery}
scripts/install-deps.sh >&2

for preset in android-armv7 host; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --parallel 2 >/dev/null
done

demo=build/demo
mkdir -p "$demo"
image=$demo/misc.img
# A misc partition's start: an old command at 0, other data after byte 14.
{ printf 'bootonce-bootl'; printf 'other data of the partition kept here'; } > "$image"
head -c 64 /dev/zero >> "$image"

show() { echo "$1:"; od -A d -t x1z -N 48 "$image"; }
show "first bytes of $image before"
echo "\$ qemu-arm build/android-armv7/bootnote $image $command"
build/host/sandbox_logcat -- qemu-arm build/android-armv7/bootnote "$image" "$command"
show "first bytes of $image after"
