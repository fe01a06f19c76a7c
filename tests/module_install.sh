#!/bin/sh
# Packs the module from the four device binaries and installs it with a
# stand-in of the managers' documented installer under Debian's busybox in
# standalone mode (its applets the only PATH), once for each ARCH the
# installer may report; then checks module.prop, update.json, and that a
# second pack of copies made at another time gives the same bytes.
#   module_install.sh SOURCE_DIR ARMV7 ARM64 X86 X86_64
set -u
source_dir=$1 armv7=$2 arm64=$3 x86=$4 x86_64=$5
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pack() {  # DIR VERSION URL ARMV7 ARM64 X86 X86_64: DIR/module.zip, and DIR/update.json for a URL
  "$source_dir/scripts/module_zip.py" --version "$2" --out "$1/module.zip" \
    ${3:+--release-url "$3" --update-json "$1/update.json"} \
    armeabi-v7a="$4" arm64-v8a="$5" x86="$6" x86_64="$7" || exit 1
}
version=$(cat "$source_dir/VERSION")
pack "$work" "$version" https://example.org/r/ "$armv7" "$arm64" "$x86" "$x86_64"
mkdir "$work/bin" && busybox --install -s "$work/bin" || exit 1

# The installer's part around customize.sh: the zip but META-INF extracted
# into MODPATH, the default modes, customize.sh sourced. abort leaves with
# 3, so that an exit of customize.sh's own is told apart.
# shellcheck disable=SC2016 # expanded by the installer's shell
installer='ui_print() { echo "$1"; }
abort() { echo "$1"; rm -rf "$MODPATH"; exit 3; }
set_perm() { chown "$2:$3" "$1" && chmod "$4" "$1"; }
unzip -q -o "$ZIPFILE" -x "META-INF/*" -d "$MODPATH" && find "$MODPATH" -type f -exec chmod 644 {} + || exit 4
. "$MODPATH/customize.sh"
echo INSTALLED'
install() {  # ARCH: the status, output and files of one install into a new $work/m
  rm -rf "$work/m"
  said=$(env -i PATH="$work/bin" MODPATH="$work/m" ARCH="$1" IS64BIT=true API=34 TMPDIR="$work" \
    ZIPFILE="$work/module.zip" BOOTMODE=true "$work/bin/sh" -c "$installer" 2>&1)
  status=$? files=$(cd "$work/m" 2> /dev/null && find . -type f | sort | tr '\n' ' ')
}
for row in arm:armeabi-v7a:"$armv7" arm64:arm64-v8a:"$arm64" x86:x86:"$x86" x64:x86_64:"$x86_64"; do
  arch=${row%%:*} abi=${row#*:} binary=${abi#*:} abi=${abi%%:*}
  install "$arch"
  same=$(cmp -s "$work/m/system/bin/bootnote" "$binary" && echo "the $abi build" || echo "not the $abi build")
  got="$status, $same, $(stat -c '%a %u:%g' "$work/m/system/bin/bootnote" 2>&1), $files"
  case $got/$said in
    "0, the $abi build, 755 0:2000, ./customize.sh ./module.prop ./system/bin/bootnote /"*"the $abi build"*INSTALLED) ;;
    *) fail "ARCH $arch: status, system/bin/bootnote, its mode and owner, the files: $got; said: $said" ;;
  esac
done
for arch in riscv64 ''; do
  install "$arch"
  [ "$status:$said:$files" = "3:! bootnote: no build for ARCH \"$arch\"; this module has armeabi-v7a (arm), arm64-v8a (arm64), x86 (x86) and x86_64 (x64):" ] ||
    fail "ARCH \"$arch\": status $status, files $files, said: $said (not aborted, naming it and the four ABIs)"
done

# module.prop: the documented keys, LF lines, the id for good, an integer
# versionCode; update.json agreeing with it.
unzip -p "$work/module.zip" module.prop > "$work/module.prop"
python3 - "$work/module.prop" "$work/update.json" "$version" <<'EOF' || fail "module.prop or update.json"
import json, sys
text, update = open(sys.argv[1], newline="").read(), json.load(open(sys.argv[2]))
prop = dict(line.split("=", 1) for line in text.splitlines())
want = dict(prop, id="bootnote", version=sys.argv[3], updateJson="https://example.org/r/update.json")
ok = list(prop) == ["id", "name", "version", "versionCode", "author", "description", "updateJson"] and \
    prop == want and text.endswith("\n") and "\r" not in text and prop["versionCode"].isdigit() and \
    update == dict(version=sys.argv[3], versionCode=int(prop["versionCode"]), zipUrl="https://example.org/r/module.zip",
                   changelog="https://example.org/r/changelog.md")
sys.exit(0 if ok else "module.prop %r, update.json %r" % (text, update))
EOF

# Without a URL: no updateJson, no update.json; versionCode grows with VERSION.
last=-1
for v in 0.1.2 1.9.99 1.10.0 2.0.0; do
  mkdir "$work/$v" && pack "$work/$v" "$v" "" "$armv7" "$arm64" "$x86" "$x86_64"
  prop=$(unzip -p "$work/$v/module.zip" module.prop)
  code=$(printf '%s\n' "$prop" | sed -n 's/^versionCode=//p')
  # Each comparison must hold: one that errors (an empty versionCode) fails.
  if ! { [ "$code" -gt "$last" ] && [ "$(ls "$work/$v")" = module.zip ] && [ "${prop#*updateJson}" = "$prop" ]; }; then
    fail "VERSION $v with no URL: $(ls "$work/$v"); $prop (versionCode above $last, no updateJson, no update.json?)"
  fi
  last=$code
done

a=$work/again
mkdir "$a" && cp "$armv7" "$a/armv7" && cp "$arm64" "$a/arm64" && cp "$x86" "$a/x86" && cp "$x86_64" "$a/x86_64" || exit 1
touch -d 2001-01-01 "$a"/* && pack "$a" "$version" https://example.org/r/ "$a/armv7" "$a/arm64" "$a/x86" "$a/x86_64"
cmp -s "$work/module.zip" "$a/module.zip" || fail "a second pack, of copies made at another time, gave other bytes"
echo "module install: $failures failure(s)"
[ "$failures" -eq 0 ]
