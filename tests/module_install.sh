#!/bin/sh
# Packs the module from the four device binaries and installs it in a
# private root under busybox, its applets alone on PATH (Debian's busybox has
# no standalone mode; such a PATH finds the same commands), through both
# doors a manager has: Magisk's app before v29 ("app": META-INF, #MAGISK, the
# zip's update-binary) and the daemon's (install_module called directly), to
# a stand-in of the managers' installer, with the variables and files of
# each manager. Then module.prop, update.json, and a second pack of copies
# made at another time: the same bytes.
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
root=$work/root
meta=$root/data/adb/modules/meta-overlayfs
mkdir -p "$root/bb" "$root/tmp" "$root/data/adb/magisk" "$meta" || exit 1
pack "$root" "$version" https://example.org/r/ "$armv7" "$arm64" "$x86" "$x86_64"
busybox --install -s "$root/bb" && cp "$source_dir/tests/manager/getprop" "$root/bb/" || exit 1
# This machine's /usr, for busybox's libraries (Debian 12 merged /bin and
# /lib into it); the rest is the root's.
for dir in bin lib lib64 sbin; do ln -s "usr/$dir" "$root/$dir" || exit 1; done

# The doors: Magisk's app before v29, and the daemons' installer call.
# shellcheck disable=SC2016
app='unzip -o -q /module.zip "META-INF/com/google/android/*" -d /tmp/zip || { echo "! Unzip error"; exit 5; }
grep -q "^#MAGISK" /tmp/zip/META-INF/com/google/android/updater-script || { echo "! not a Magisk module"; exit 5; }
sh /tmp/zip/META-INF/com/google/android/update-binary dummy 1 /module.zip'
# The daemon's umask is not the script's to rely on: a strict one here.
# shellcheck disable=SC2016
daemon='umask 077; ZIPFILE=/module.zip; . /data/adb/magisk/util_functions.sh && install_module'

# install DOOR ARCH VER_CODE FILES VARS: the status, output and files of one
# install on a phone whose ABIs are those ARCH names. VER_CODE "-": no
# util_functions.sh (the stand-in installer of tests/manager/). FILES: "link", /data/adb/metamodule to the installed
# meta-overlayfs; "prop=V", its module.prop says metamodule=V; others, files
# made under /data/adb. VARS: VAR=VALUE,... the manager's. "-": none.
install() {
  rm -rf "$root/data/adb/modules_update" "$root/data/adb/metamodule" "${meta:?}/"* "$root/data/adb/".*_enable \
    "$root/tmp/"* "$root/data/adb/magisk/"*
  [ "$3" = - ] || cp "$source_dir/tests/manager/util_functions.sh" "$root/data/adb/magisk/" || exit 1
  for file in $(echo "$4" | tr , ' '); do
    case $file in
      link) ln -s modules/meta-overlayfs "$root/data/adb/metamodule" ;;
      prop=*) echo "metamodule=${file#prop=}" > "$meta/module.prop" ;;
      -) ;;
      *) touch "$root/data/adb/$file" ;;
    esac || exit 1
  done
  case $2 in arm) abis='armeabi-v7a,armeabi' ;; arm64) abis='arm64-v8a,armeabi-v7a' ;; x64) abis='x86_64,x86' ;; *) abis=$2 ;; esac
  if [ "$1" = app ]; then door=$app; else door=$daemon; fi
  # shellcheck disable=SC2046 # one word per VAR=VALUE
  said=$(env -i PATH=/bb ARCH="$2" VER_CODE="$3" API=34 IS64BIT=true BOOTMODE=true PHONE_ABILIST="$abis" \
    PHONE_ABI="${abis%%,*}" $(echo "${5#-}" | tr , ' ') \
    "$(command -v bwrap)" --bind "$root" / --ro-bind /usr /usr --dev /dev --proc /proc /bb/sh -c "$door" 2>&1)
  status=$? module=$root/data/adb/modules_update/bootnote
  files=$(cd "$module" 2> /dev/null && find . -type f | sort | tr '\n' ' ')
}
# Each manager as its daemon exports itself: KernelSU v2.1.2 and from 22098
# (v3.0.0 is 32179); mount variables, which decide even above 22098 (SukiSU
# v4.0.0 is 40119); APatch 11009-11142 (APATCH_BIND_MOUNT), before it, and
# from 11170.
ksu=KSU=true,KSU_VER_CODE ap=APATCH=true,APATCH_VER_CODE next=KSU=true,KSU_NEXT=true,KSU_VER_CODE=40119
full=/data/adb/modules/bootnote/system/bin/bootnote
# DOOR ARCH BUILD FILES VARS NOTE: installs BUILD (the operand of that name);
# NOTE: says the full path, and then to install a metamodule ("meta") or
# enable the disabled one ("enable") and install bootnote again, or to leave
# lite mode ("lite"); "-": nothing.
for row in "app arm armv7 - - -" "app arm64 arm64 - - -" "app x86 x86 - PHONE_ABILIST=,PHONE_ABI=x86 -" \
  "app x64 x86_64 - - -" "daemon arm64 arm64 - $ksu=22084,KSU_VER=v2.1.2,KSU_KERNEL_VER_CODE=22084 -" \
  "daemon arm armv7 - $ksu=22098 meta" "daemon x86 x86 - $next,KSU_MAGIC_MOUNT=true -" \
  "daemon x64 x86_64 - $next,KSU_OVERLAYFS=true -" "daemon arm64 arm64 - $ksu=40119,KSU_SUKISU=true,KSU_MAGIC_MOUNT=true -" \
  "daemon arm64 arm64 - $ksu=40160,KSU_SUKISU=true meta" "daemon arm64 arm64 link $ksu=32179 -" \
  "daemon arm64 arm64 prop=1 $ksu=32179 -" "daemon arm64 arm64 prop=1,modules/meta-overlayfs/disable $ksu=32179 enable" \
  "daemon arm armv7 - $ap=11142,APATCH_BIND_MOUNT=true -" "daemon x86 x86 - $ap=11039,APATCH_BIND_MOUNT=false -" \
  "daemon arm64 arm64 .litemode_enable $ap=11142,APATCH_BIND_MOUNT=true lite" "daemon arm armv7 - $ap=10983 -" \
  "daemon x64 x86_64 .litemode_enable $ap=10983 lite" "daemon arm64 arm64 - $ap=11219 meta" "daemon arm64 arm64 .magic_mount_enable $ap=11219 -" \
  "daemon arm64 arm64 prop=true $ap=11219 -" "daemon arm64 arm64 link,modules/meta-overlayfs/disable $ap=11219 enable"; do
  # shellcheck disable=SC2086 # one word per field
  set -- $row
  build=$3 note=$6
  case $build in armv7) binary=$armv7 ;; arm64) binary=$arm64 ;; x86) binary=$x86 ;; *) binary=$x86_64 ;; esac
  install "$1" "$2" 20400 "$4" "$5"
  case $said in *"$full"*"install a metamodule"*"install bootnote again"*) said_note=meta ;;
    *"$full"*"enable it"*"install bootnote again"*) said_note=enable ;; *"$full"*"lite mode off"*) said_note=lite ;;
    *"$full"*) said_note=other ;; *) said_note=- ;; esac
  got="$status, $(cmp -s "$module/system/bin/bootnote" "$binary" && echo the || echo not the) $build build, $(cd \
    "$module" 2>&1 && stat -c '%n %a %u:%g' system system/bin system/bin/bootnote 2>&1 | tr '\n' ' '), $files, $said_note"
  { [ "$got" = "0, the $build build, system 755 0:0 system/bin 755 0:2000 system/bin/bootnote 755 0:2000 , ./module.prop ./system/bin/bootnote , $note" ] &&
    [ "${said%INSTALLED}" != "$said" ]; } || fail "$row: status, file, modes, files, note: $got; said: $said"
done
# DOOR ARCH VER_CODE VARS NAMING STATUS: refused, with STATUS (3: abort),
# saying NAMING, nothing left: an ARCH with no build (Magisk v28's riscv64),
# a riscv64 phone that Magisk before v28, KernelSU or APatch call "arm", an
# installer missing, too old, or whose version code is no number.
for row in "daemon riscv64 20400 - riscv64 3" "app arm 20400 PHONE_ABILIST=riscv64 riscv64 3" \
  "daemon arm 20400 $ksu=32179,PHONE_ABILIST=riscv64 riscv64 3" \
  "daemon arm 20400 $ap=11219,PHONE_ABILIST=,PHONE_ABI=riscv64 riscv64 3" \
  "app arm - - v20.4 1" "app arm 20300 - v20.4 1" "app arm 2O400 - v20.4 1"; do
  # shellcheck disable=SC2086 # one word per field
  set -- $row
  install "$1" "$2" "$3" - "$4"
  { [ "$status" = "$6" ] && [ "${said#*"$5"}" != "$said" ] && [ ! -e "$module" ]; } ||
    fail "$row: status $status, files $files, said: $said (not refused with $6, naming \"$5\", leaving nothing)"
done

# module.prop: the id for good, the version, a versionCode that grows with
# VERSION (also where a part gains a digit); update.json agreeing with it;
# without a URL, no updateJson and no update.json.
mkdir "$work/plain" && pack "$work/plain" "$version" "" "$armv7" "$arm64" "$x86" "$x86_64"
python3 -B - "$source_dir/scripts" "$root" "$work/plain" "$version" <<'EOF' || fail "module.prop or update.json"
import json, os, sys, zipfile
sys.path.insert(0, sys.argv[1])
from module_zip import version_code
texts = [zipfile.ZipFile(d + "/module.zip").read("module.prop").decode() for d in sys.argv[2:4]]
prop, plain = (dict(line.split("=", 1) for line in text.splitlines()) for text in texts)
update, version = json.load(open(sys.argv[2] + "/update.json")), sys.argv[4]
codes = [version_code(v) for v in ("0.1.2", "0.1.10", "1.9.99", "1.10.0", "2.0.0")]
ok = prop == dict(plain, updateJson="https://example.org/r/update.json") and "updateJson" not in plain and \
    sorted(plain) == ["author", "description", "id", "name", "version", "versionCode"] and plain["id"] == "bootnote" and \
    plain["version"] == version and all(t.endswith("\n") and "\r" not in t for t in texts) and \
    os.listdir(sys.argv[3]) == ["module.zip"] and codes == sorted(set(codes)) and \
    update == dict(version=version, versionCode=int(prop["versionCode"]), zipUrl="https://example.org/r/module.zip",
                   changelog="https://example.org/r/changelog.md")
sys.exit(0 if ok else "module.prop %r, update.json %r, versionCodes %r" % (texts, update, codes))
EOF

a=$work/again
mkdir "$a" && cp "$armv7" "$a/armv7" && cp "$arm64" "$a/arm64" && cp "$x86" "$a/x86" && cp "$x86_64" "$a/x86_64" || exit 1
touch -d 2001-01-01 "$a"/* && pack "$a" "$version" https://example.org/r/ "$a/armv7" "$a/arm64" "$a/x86" "$a/x86_64"
cmp -s "$root/module.zip" "$a/module.zip" || fail "a second pack, of copies made at another time, gave other bytes"
echo "module install: $failures failure(s)"
[ "$failures" -eq 0 ]
