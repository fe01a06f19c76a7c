# shellcheck shell=sh
# shellcheck disable=SC2034 # what install() sets is for the test that sources this
# The private root that the module tests share, sourced with their operands
# SOURCE_DIR ARMV7 ARM64 X86 X86_64 (the four device binaries): the module
# packed, busybox's applets alone on PATH (Debian's busybox has no standalone
# mode; such a PATH finds the same commands) with the stand-ins of
# tests/manager/, and install(), which installs the module through either
# door a manager has, as the managers run it.
set -u
source_dir=$1 armv7=$2 arm64=$3 x86=$4 x86_64=$5
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
# dash runs the EXIT trap on exit only: a signal's status through it.
trap 'exit 143' TERM && trap 'exit 130' INT && trap 'exit 129' HUP
failures=0
fail() { printf '%s\n' "FAIL: $*"; failures=$((failures + 1)); }
# pack DIR VERSION URL ARMV7 ARM64 X86 X86_64: DIR/module.zip, and
# DIR/update.json for a URL.
pack() {
  "$source_dir/scripts/module_zip.py" --version "$2" --out "$1/module.zip" \
    ${3:+--release-url "$3" --update-json "$1/update.json"} \
    armeabi-v7a="$4" arm64-v8a="$5" x86="$6" x86_64="$7" || exit 1
}
version=$(cat "$source_dir/VERSION")
root=$work/root
meta=$root/data/adb/modules/meta-overlayfs
bwrap=$(command -v bwrap) || exit 1
mkdir -p "$root/bb" "$root/tmp" "$root/data/adb/magisk" "$meta" || exit 1
pack "$root" "$version" https://example.org/r/ "$armv7" "$arm64" "$x86" "$x86_64"
# The stand-ins replace the links (cp would write through one, into busybox).
busybox --install -s "$root/bb" && rm -f "$root/bb/uname" "$root/bb/sleep" &&
  cp "$source_dir/tests/manager/getprop" "$source_dir/tests/manager/uname" \
    "$source_dir/tests/manager/sleep" "$root/bb/" || exit 1
# This machine's /usr, for busybox's libraries (Debian 12 merged /bin and
# /lib into it); the rest is the root's.
for dir in bin lib lib64 sbin; do ln -s "usr/$dir" "$root/$dir" || exit 1; done

# The doors: Magisk's app before v29, and the daemons' installer call.
# shellcheck disable=SC2016
app='unzip -o -q /module.zip "META-INF/com/google/android/*" -d /tmp/zip ||
  { echo "! Unzip error"; exit 5; }
grep -q "^#MAGISK" /tmp/zip/META-INF/com/google/android/updater-script ||
  { echo "! not a Magisk module"; exit 5; }
sh /tmp/zip/META-INF/com/google/android/update-binary dummy 1 /module.zip'
# The daemon's umask is not the script's to rely on: a strict one here.
# shellcheck disable=SC2016
daemon='umask 077; ZIPFILE=/module.zip; . /data/adb/magisk/util_functions.sh && install_module'

# install DOOR ARCH VER_CODE FILES VARS: the status, output and files of one
# install on a phone whose ABIs are those ARCH names. VER_CODE "-": no
# util_functions.sh (the stand-in installer of tests/manager/). FILES:
# "link", /data/adb/metamodule to the installed meta-overlayfs; "prop=V",
# its module.prop says metamodule=V; others, files made under /data/adb.
# VARS: VAR=VALUE,... the manager's. "-": none.
install() {
  rm -rf "$root/data/adb/modules_update" "$root/data/adb/metamodule" "${meta:?}/"* \
    "$root/data/adb/".*_enable "$root/tmp/"* "$root/data/adb/magisk/"*
  [ "$3" = - ] || cp "$source_dir/tests/manager/util_functions.sh" "$root/data/adb/magisk/" ||
    exit 1
  for file in $(echo "$4" | tr , ' '); do
    case $file in
      link) ln -s modules/meta-overlayfs "$root/data/adb/metamodule" ;;
      prop=*) echo "metamodule=${file#prop=}" > "$meta/module.prop" ;;
      -) ;;
      *) touch "$root/data/adb/$file" ;;
    esac || exit 1
  done
  case $2 in
    arm) abis='armeabi-v7a,armeabi' ;;
    arm64) abis='arm64-v8a,armeabi-v7a' ;;
    x64) abis='x86_64,x86' ;;
    *) abis=$2 ;;
  esac
  if [ "$1" = app ]; then door=$app; else door=$daemon; fi
  # shellcheck disable=SC2046 # one word per VAR=VALUE
  said=$(env -i PATH=/bb ARCH="$2" VER_CODE="$3" API=34 IS64BIT=true BOOTMODE=true \
    PHONE_ABILIST="$abis" PHONE_ABI="${abis%%,*}" $(echo "${5#-}" | tr , ' ') \
    "$bwrap" --bind "$root" / --ro-bind /usr /usr --dev /dev --proc /proc \
    /bb/sh -c "$door" 2>&1 < /dev/null)
  status=$? module=$root/data/adb/modules_update/bootnote
  files=$(cd "$module" 2> /dev/null && find . -type f | sort | tr '\n' ' ')
}
# escaped TEXT: TEXT on one line, each line's end as "$" and each byte
# outside printable ASCII as \ooo (sed's l), for a FAIL line.
escaped() { printf '%s\n' "$1" | LC_ALL=C sed -n 'l 0' | tr -d '\n'; }
