#!/bin/sh
# Puts what a guest boots into place: the kernel package a Debian meta
# package depends on, the kernel modules asked for with those they need, in
# the order to load them, and busybox. Packages are downloaded once into
# CACHE; a failed download fails with apt's own message.
#
#   guest_packages.sh CACHE KERNEL_META_PACKAGE BUSYBOX_PACKAGE INITRD_DIR "MODULE..."
#
# Fills INITRD_DIR/bin/busybox and INITRD_DIR/modules/NN-NAME.ko; prints the
# directory the kernel package is unpacked in (its boot/vmlinuz-*, its
# device trees).
set -eu
cache=$1 kernel_package=$2 busybox_package=$3 initrd=$4 modules=$5

fail() {
  echo "guest_packages: $*" >&2
  exit 1
}
for tool in apt-get apt-cache dpkg-deb depmod xz zstd; do
  command -v "$tool" > /dev/null || fail "$tool is not installed (scripts/install-deps.sh installs it)"
done

# apt for the guest's architecture, with package lists of its own in the
# cache: a mirror whose lists for another architecture are caught mid-sync
# (apt then keeps none of that suite's) cannot hide this one's. Fetched
# once, as the packages are.
arch=${busybox_package##*:}
lists=$cache/lists-$arch
apt_for_guest() {
  command=$1
  shift
  "$command" -o "Dir::State::Lists=$lists" -o "APT::Architecture=$arch" -o "APT::Architectures=$arch" "$@"
}
update_lists() {
  [ ! -f "$lists/ready" ] || return 0
  mkdir -p "$lists/partial"
  # Lists that did arrive are kept: a package found in them can be had.
  if apt_for_guest apt-get update -q >&2; then touch "$lists/ready"; fi
}

# fetch PACKAGE: the package unpacked under $cache/PACKAGE/root, downloaded
# the first time only.
fetch() {
  dir=$cache/$(echo "$1" | tr ':' '_')
  if [ ! -f "$dir/ready" ]; then
    rm -rf "$dir"
    mkdir -p "$dir/deb"
    # Its messages go to stderr: stdout carries the directory.
    (cd "$dir/deb" && apt_for_guest apt-get download -q "$1" >&2) || fail "apt-get download $1 failed"
    for deb in "$dir"/deb/*.deb; do dpkg-deb -x "$deb" "$dir/root"; done
    touch "$dir/ready"
  fi
  echo "$dir/root"
}
# The kernel package a meta package depends on (linux-image-arm64:arm64 ->
# linux-image-6.1.0-NN-arm64:arm64).
update_lists
depends=$(apt_for_guest apt-cache depends "$kernel_package") || fail "apt-cache knows no $kernel_package"
kernel_root=$(fetch "$(echo "$depends" | sed -n 's/^ *Depends: //p' | head -1)")
busybox_root=$(fetch "$busybox_package")
kernel=$(echo "$kernel_root"/boot/vmlinuz-*)
[ -f "$kernel" ] || fail "no kernel in $kernel_package"
module_dir=$(echo "$kernel_root"/lib/modules/*)

mkdir -p "$initrd/bin" "$initrd/modules"
cp "$busybox_root/bin/busybox" "$initrd/bin/busybox"

# The modules asked for and what they need, in the order to load them:
# modules.dep (made here: the package does not ship it) lists a module's
# dependencies, the last to be loaded first.
[ -f "$module_dir/modules.dep" ] || depmod -b "$kernel_root" "$(basename "$module_dir")" ||
  fail "depmod failed on $module_dir"
for module in $modules; do
  if line=$(grep -E "/$module\.ko(\.[a-z]+)?:" "$module_dir/modules.dep"); then
    echo "$line" | cut -d: -f2 | tr ' ' '\n' | tac
    echo "$line" | cut -d: -f1
  else
    grep -qE "/$module\.ko\$" "$module_dir/modules.builtin" || fail "$module is no module of $kernel"
  fi
done > "$initrd/modules.wanted"
awk 'NF && !seen[$0]++' "$initrd/modules.wanted" > "$initrd/modules.list"
order=0
while read -r file; do
  order=$((order + 1))
  target=$initrd/modules/$(printf %02d "$order")-$(basename "${file%%.ko*}").ko
  case $file in
    *.ko) cp "$module_dir/$file" "$target" ;;
    *.ko.xz) xz -dc "$module_dir/$file" > "$target" ;;
    *.ko.zst) zstd -qdc "$module_dir/$file" > "$target" ;;
    *) fail "cannot unpack $file" ;;
  esac
done < "$initrd/modules.list"

# The modules file lists are no part of the initramfs.
rm "$initrd/modules.wanted" "$initrd/modules.list"
echo "$kernel_root"
