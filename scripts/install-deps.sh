#!/bin/sh
# Installs, from Debian's archive, whatever the builds and tests need and this
# machine lacks; does nothing when all is there. Uses sudo when not root.
set -eu

packages="cmake make g++ libgtest-dev bubblewrap qemu-user binutils mount util-linux
  g++-arm-linux-gnueabihf musl-dev:armhf android-liblog-dev android-liblog
  clang libclang-rt-14-dev valgrind fuse3 libfuse3-dev pkg-config
  qemu-system-arm cpio fdisk"

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
if ! dpkg --print-foreign-architectures | grep -qx armhf; then
  as_root dpkg --add-architecture armhf
fi
as_root apt-get update -q
# shellcheck disable=SC2086
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
