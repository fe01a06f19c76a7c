#!/bin/sh
# Puts what a guest boots into place, downloading each package once into
# CACHE (a failed download fails with apt's message):
#   guest_packages.sh CACHE KERNEL_META_PACKAGE BUSYBOX_PACKAGE INITRD_DIR "MODULE..."
# fills INITRD_DIR/bin/busybox and INITRD_DIR/modules/NN-NAME.ko, the modules
# asked for and those they need, NN their load order; prints the directory
# the kernel package (the one the meta package depends on) is unpacked in.
set -eu
cache=$1 kernel_package=$2 busybox_package=$3 initrd=$4 modules=$5

fail() {
  echo "guest_packages: $*" >&2
  exit 1
}
for tool in apt-get apt-cache dpkg-deb depmod xz zstd; do
  command -v "$tool" > /dev/null ||
    fail "$tool is not installed (scripts/install-deps.sh installs it)"
done

# apt for the guest's architecture, with package lists of its own in the
# cache, fetched once: a mirror caught mid-sync on another architecture
# (apt then keeps none of that suite's lists) cannot hide this one's. Lists
# that did arrive are kept.
arch=${busybox_package##*:}
lists=$cache/lists-$arch
guest_apt() {
  tool=$1
  shift
  "$tool" -o "Dir::State::Lists=$lists" -o "APT::Architecture=$arch" \
    -o "APT::Architectures=$arch" "$@"
}
if [ ! -f "$lists/ready" ]; then
  mkdir -p "$lists/partial"
  if guest_apt apt-get update -q >&2; then touch "$lists/ready"; fi
fi

# fetch PACKAGE: the package unpacked under $cache/PACKAGE/root, downloaded
# the first time only. apt's messages go to stderr: stdout carries the directory.
fetch() {
  dir=$cache/$(echo "$1" | tr ':' '_')
  if [ ! -f "$dir/ready" ]; then
    rm -rf "$dir" && mkdir -p "$dir/deb"
    (cd "$dir/deb" && guest_apt apt-get download -q "$1" >&2) || fail "apt-get download $1 failed"
    for deb in "$dir"/deb/*.deb; do dpkg-deb -x "$deb" "$dir/root"; done
    touch "$dir/ready"
  fi
  echo "$dir/root"
}
# linux-image-arm64:arm64 depends on linux-image-6.1.0-NN-arm64:arm64.
depends=$(guest_apt apt-cache depends "$kernel_package") ||
  fail "apt-cache knows no $kernel_package"
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
wanted=$(for module in $modules; do
  line=$(grep -E "/$module\.ko(\.[a-z]+)?:" "$module_dir/modules.dep") ||
    fail "$module is no module of $kernel"
  echo "$line" | cut -d: -f2 | tr ' ' '\n' | tac
  echo "$line" | cut -d: -f1
done) || exit 1
order=0
echo "$wanted" | awk 'NF && !seen[$0]++' | while read -r file; do
  order=$((order + 1))
  target=$initrd/modules/$(printf %02d "$order")-$(basename "${file%%.ko*}").ko
  case $file in
    *.ko) cp "$module_dir/$file" "$target" ;;
    *.ko.xz) xz -dc "$module_dir/$file" > "$target" ;;
    *.ko.zst) zstd -qdc "$module_dir/$file" > "$target" ;;
    *) fail "cannot unpack $file" ;;
  esac
done
echo "$kernel_root"
