#!/bin/sh
# Packs the module from the four device binaries, installs it with a
# stand-in of the managers' documented installer under Debian's busybox in
# standalone mode (its applets the only PATH), once for each ARCH the
# installer may report, and checks what lands; then module.prop, update.json
# and that a second pack elsewhere gives the same bytes.
#   module_install.sh SOURCE_DIR ARMV7 ARM64 X86 X86_64
set -u
source_dir=$1 armv7=$2 arm64=$3 x86=$4 x86_64=$5
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
version=$(cat "$source_dir/VERSION")
set -- armeabi-v7a="$armv7" arm64-v8a="$arm64" x86="$x86" x86_64="$x86_64"
"$source_dir/scripts/module_zip.py" --version "$version" --out "$work/module.zip" \
  --release-url https://example.org/r/ --update-json "$work/update.json" "$@" || exit 1
mkdir "$work/bin" && busybox --install -s "$work/bin" || exit 1

# The installer's part around customize.sh: the zip but META-INF extracted
# into MODPATH, the default modes, customize.sh sourced. abort leaves with
# 3, so that an exit of customize.sh's own is told apart.
# shellcheck disable=SC2016 # expanded by the installer's shell
installer='ui_print() { echo "$1"; }
abort() { echo "$1"; rm -rf "$MODPATH"; exit 3; }
set_perm() { chown "$2:$3" "$1" && chmod "$4" "$1"; }
set_perm_recursive() { chown -R "$2:$3" "$1" && find "$1" -type d -exec chmod "$4" {} + && find "$1" -type f -exec chmod "$5" {} +; }
unzip -q -o "$ZIPFILE" -x "META-INF/*" -d "$MODPATH" || exit 4
set_perm_recursive "$MODPATH" 0 0 0755 0644
. "$MODPATH/customize.sh"
echo INSTALLED'

# install ARCH: the output and status of one install into a new $work/m.
install() {
  rm -rf "$work/m" "$work/tmp" && mkdir "$work/tmp"
  is64=false && case $1 in arm64|x64|riscv64) is64=true ;; esac
  said=$(env -i PATH="$work/bin" MODPATH="$work/m" ARCH="$1" IS64BIT=$is64 API=34 TMPDIR="$work/tmp" \
    ZIPFILE="$work/module.zip" BOOTMODE=true "$work/bin/sh" -c "$installer" 2>&1)
  status=$?
}
for row in arm=armeabi-v7a:"$armv7" arm64=arm64-v8a:"$arm64" x86=x86:"$x86" x64=x86_64:"$x86_64"; do
  arch=${row%%=*} abi=${row#*=} abi=${abi%%:*} binary=${row#*:}
  install "$arch"
  if [ "$status" -ne 0 ] || [ "${said##*
}" != INSTALLED ]; then
    fail "ARCH $arch: status $status, said: $said"
    continue
  fi
  case $said in *"the $abi build"*) ;; *) fail "ARCH $arch: did not say it chose $abi: $said" ;; esac
  cmp -s "$work/m/system/bin/bootnote" "$binary" || fail "ARCH $arch: system/bin/bootnote is not the $abi build"
  got=$(stat -c '%a %u %g' "$work/m/system/bin/bootnote")
  [ "$got" = "755 0 2000" ] || fail "ARCH $arch: system/bin/bootnote mode, owner, group $got, not 755 0 2000"
  files=$(cd "$work/m" && find . -type f | sort | tr '\n' ' ')
  [ "$files" = "./customize.sh ./module.prop ./system/bin/bootnote " ] || fail "ARCH $arch: the module holds $files"
done
for arch in riscv64 ''; do
  install "$arch"
  case $status:$said in
    "3:! bootnote: no build for ARCH \"$arch\"; this module has armeabi-v7a (arm), arm64-v8a (arm64), x86 (x86) and x86_64 (x64)") ;;
    *) fail "ARCH \"$arch\": status $status, said: $said (not aborted naming it and the four ABIs)" ;;
  esac
done

# module.prop: the documented keys once each, in LF lines; the id for good;
# versionCode an integer; updateJson and update.json agreeing with it.
unzip -p "$work/module.zip" module.prop > "$work/module.prop"
keys=$(cut -d= -f1 "$work/module.prop" | tr '\n' ' ')
[ "$keys" = "id name version versionCode author description updateJson " ] || fail "module.prop keys: $keys"
if grep -q "$(printf '\r')" "$work/module.prop" || [ "$(tail -c 1 "$work/module.prop" | od -A n -t x1)" != " 0a" ]; then
  fail "module.prop: not LF lines"
fi
grep -qx 'id=bootnote' "$work/module.prop" || fail "module.prop: id is not bootnote"
grep -qx "version=$version" "$work/module.prop" || fail "module.prop: version is not $version"
grep -qx 'versionCode=[0-9][0-9]*' "$work/module.prop" || fail "module.prop: versionCode is no integer"
grep -qx 'updateJson=https://example.org/r/update.json' "$work/module.prop" || fail "module.prop: updateJson"
python3 -c 'import json, sys
prop = dict(line.rstrip("\n").split("=", 1) for line in open(sys.argv[1]))
got = json.load(open(sys.argv[2]))
want = {"version": prop["version"], "versionCode": int(prop["versionCode"]),
        "zipUrl": "https://example.org/r/module.zip", "changelog": "https://example.org/r/changelog.md"}
sys.exit(0 if got == want else "update.json %r, not %r" % (got, want))' "$work/module.prop" "$work/update.json" ||
  fail "update.json does not agree with module.prop"

# Another pack, from copies of other times, elsewhere: the same bytes.
mkdir "$work/again"
for b in "$@"; do cp "${b#*=}" "$work/again/${b%%=*}"; done
touch -d 2001-01-01 "$work/again"/*
(cd "$work/again" && "$source_dir/scripts/module_zip.py" --version "$version" --out module.zip \
  --release-url https://example.org/r --update-json update.json \
  armeabi-v7a=armeabi-v7a arm64-v8a=arm64-v8a x86=x86 x86_64=x86_64)
cmp -s "$work/module.zip" "$work/again/module.zip" || fail "a second pack gave other bytes"
echo "module install: $failures failure(s)"
[ "$failures" -eq 0 ]
