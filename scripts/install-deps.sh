#!/bin/sh
# Installs, from Debian's archive, whatever the builds and tests need and this
# machine lacks; does nothing when all is there. Uses sudo when not root.
set -eu

# The device builds' foreign architectures: armeabi-v7a, arm64-v8a, x86.
architectures="armhf arm64 i386"
packages="cmake make g++ libgtest-dev bubblewrap qemu-user binutils mount util-linux git
  g++-arm-linux-gnueabihf musl-dev:armhf g++-aarch64-linux-gnu musl-dev:arm64
  g++-i686-linux-gnu musl-dev:i386 musl-dev android-liblog-dev android-liblog
  clang libclang-rt-14-dev valgrind python3 strace
  qemu-system-arm qemu-system-x86 cpio fdisk kmod xz-utils zstd shellcheck mksh busybox toybox"

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing=""
for package in $packages; do
  installed "$package" || missing="$missing $package"
done
[ -n "$missing" ] || exit 0

echo "installing:$missing"
for architecture in $architectures; do
  if ! dpkg --print-foreign-architectures | grep -qx "$architecture"; then
    as_root dpkg --add-architecture "$architecture"
  fi
done
# A mirror caught mid-sync fails an index or two; retry, then go on with the
# lists that did arrive: the install below fails, naming the package, if
# one it needs is not in them.
tries=0
until as_root apt-get update -q; do
  tries=$((tries + 1))
  [ "$tries" -lt 3 ] || {
    echo "apt-get update failed $tries times; installing from the lists it has" >&2
    break
  }
  sleep 10
done
# shellcheck disable=SC2086
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
