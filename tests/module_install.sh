#!/bin/sh
# Packs the module from the four device binaries and installs it in a
# private root under busybox (tests/module_root.sh), through both doors a
# manager has: Magisk's app before v29 ("app": META-INF, #MAGISK, the zip's
# update-binary) and the daemon's (install_module called directly), to a
# stand-in of the managers' installer, with the variables and files of each
# manager. Then module.prop, update.json, and a second pack of copies made
# at another time: the same bytes.
#   module_install.sh SOURCE_DIR ARMV7 ARM64 X86 X86_64
# shellcheck source=SCRIPTDIR/module_root.sh
. "$(dirname "$0")/module_root.sh"

# Each manager as its daemon exports itself: KernelSU v2.1.2 and from 22098
# (v3.0.0 is 32179); mount variables, which decide even above 22098 (SukiSU
# v4.0.0 is 40119); APatch 11009-11142 (APATCH_BIND_MOUNT), before it, and
# from 11170.
ksu=KSU=true,KSU_VER_CODE ap=APATCH=true,APATCH_VER_CODE
next=KSU=true,KSU_NEXT=true,KSU_VER_CODE=40119 disabled=modules/meta-overlayfs/disable
full=/data/adb/modules/bootnote/system/bin/bootnote
# No ABI from getprop (both properties empty): the kernel's machine name.
noprop=PHONE_ABILIST=,PHONE_ABI=,PHONE_MACHINE
# DOOR ARCH BUILD FILES VARS NOTE: installs BUILD (the operand of that name);
# NOTE: says the full path, and then to install a metamodule ("meta") or
# enable the disabled one ("enable") and install bootnote again, or to leave
# lite mode ("lite"); "-": nothing.
while read -r door arch build files vars note; do
  row="$door $arch $build $files $vars $note"
  case $build in
    armv7) binary=$armv7 ;;
    arm64) binary=$arm64 ;;
    x86) binary=$x86 ;;
    *) binary=$x86_64 ;;
  esac
  install "$door" "$arch" 20400 "$files" "$vars"
  case $said in
    *"$full"*"install a metamodule"*"install bootnote again"*) said_note=meta ;;
    *"$full"*"enable it"*"install bootnote again"*) said_note=enable ;;
    *"$full"*"lite mode off"*) said_note=lite ;;
    *"$full"*) said_note=other ;;
    *) said_note=- ;;
  esac
  same=$(cmp -s "$module/system/bin/bootnote" "$binary" && echo the || echo not the)
  modes=$(cd "$module" 2>&1 &&
    stat -c '%n %a %u:%g' system system/bin system/bin/bootnote 2>&1 | tr '\n' ' ')
  got="$status, $same $build build, $modes, $files, $said_note"
  want="0, the $build build, system 755 0:0 system/bin 755 0:2000 system/bin/bootnote 755 0:2000 ,"
  want="$want ./action.sh ./module.prop ./path_state.sh ./service.sh ./system/bin/bootnote , $note"
  { [ "$got" = "$want" ] && [ "${said%INSTALLED}" != "$said" ]; } ||
    fail "$row: wanted $(escaped "$want"), INSTALLED said; got $(escaped "$got")," \
      "said $(escaped "$said")"
done << ROWS
app arm armv7 - - -
app arm64 arm64 - - -
app x86 x86 - PHONE_ABILIST=,PHONE_ABI=x86 -
app x64 x86_64 - - -
daemon arm armv7 - $noprop=armv7l -
daemon arm armv7 - $noprop=armv8l -
daemon arm64 arm64 - $noprop=aarch64 -
daemon x86 x86 - $noprop=i686 -
daemon x64 x86_64 - $noprop=x86_64 -
daemon x86 x86 - $noprop=x86_64 -
daemon arm64 arm64 - $ksu=22084,KSU_VER=v2.1.2,KSU_KERNEL_VER_CODE=22084 -
daemon arm armv7 - $ksu=22098 meta
daemon x86 x86 - $next,KSU_MAGIC_MOUNT=true -
daemon x64 x86_64 - $next,KSU_OVERLAYFS=true -
daemon arm64 arm64 - $ksu=40119,KSU_SUKISU=true,KSU_MAGIC_MOUNT=true -
daemon arm64 arm64 - $ksu=40160,KSU_SUKISU=true meta
daemon arm64 arm64 link $ksu=32179 -
daemon arm64 arm64 prop=1 $ksu=32179 -
daemon arm64 arm64 prop=0 $ksu=32179 meta
daemon arm64 arm64 prop=1,$disabled $ksu=32179 enable
daemon arm armv7 - $ap=11142,APATCH_BIND_MOUNT=true -
daemon x86 x86 - $ap=11039,APATCH_BIND_MOUNT=false -
daemon arm64 arm64 .litemode_enable $ap=11142,APATCH_BIND_MOUNT=true lite
daemon arm armv7 - $ap=10983 -
daemon x64 x86_64 .litemode_enable $ap=10983 lite
daemon arm64 arm64 - $ap=11219 meta
daemon arm64 arm64 .magic_mount_enable $ap=11219 -
daemon arm64 arm64 prop=true $ap=11219 -
daemon arm64 arm64 prop=false $ap=11219 meta
daemon arm64 arm64 link,$disabled $ap=11219 enable
ROWS
# DOOR ARCH VER_CODE VARS STATUS NAMING: refused, with STATUS (3: abort),
# saying NAMING (the rest of the line), nothing left: an ARCH with no build
# (Magisk v28's riscv64), a riscv64 phone that Magisk before v28, KernelSU or APatch call "arm"
# (its list, its ABI or its machine name saying so), an installer missing,
# too old, or whose version code is no number.
while read -r door arch code vars want naming; do
  row="$door $arch $code $vars $want $naming"
  install "$door" "$arch" "$code" - "$vars"
  { [ "$status" = "$want" ] && [ "${said#*"$naming"}" != "$said" ] && [ ! -e "$module" ]; } ||
    fail "$row: wanted status $want, \"$naming\" said, nothing left; got status $status," \
      "files $files, said $(escaped "$said")"
done << ROWS
daemon riscv64 20400 - 3 riscv64
app arm 20400 PHONE_ABILIST=riscv64 3 riscv64
daemon arm 20400 $ksu=32179,PHONE_ABILIST=riscv64 3 riscv64
daemon arm 20400 $ap=11219,PHONE_ABILIST=,PHONE_ABI=riscv64 3 riscv64
daemon arm 20400 $noprop=riscv64 3 "riscv64" (uname -m)
daemon arm64 20400 $noprop=armv7l 3 "armeabi-v7a" (uname -m)
app arm - - 1 v20.4
app arm 20300 - 1 v20.4
app arm 2O400 - 1 v20.4
ROWS

# module.prop: the id for good, the version, a versionCode that grows with
# VERSION (also where a part gains a digit); update.json agreeing with it;
# without a URL, no updateJson and no update.json.
mkdir "$work/plain" && pack "$work/plain" "$version" "" "$armv7" "$arm64" "$x86" "$x86_64"
props() { python3 -B - "$source_dir/scripts" "$root" "$work/plain" "$version"; }
props << 'EOF' || fail "module.prop or update.json"
import json, os, sys, zipfile
sys.path.insert(0, sys.argv[1])
from module_zip import version_code
texts = [zipfile.ZipFile(d + "/module.zip").read("module.prop").decode() for d in sys.argv[2:4]]
prop, plain = (dict(line.split("=", 1) for line in text.splitlines()) for text in texts)
update, version = json.load(open(sys.argv[2] + "/update.json")), sys.argv[4]
codes = [version_code(v) for v in ("0.1.2", "0.1.10", "1.9.99", "1.10.0", "2.0.0")]
keys = ["author", "description", "id", "name", "version", "versionCode"]
ok = (prop == dict(plain, updateJson="https://example.org/r/update.json")
      and "updateJson" not in plain and sorted(plain) == keys and plain["id"] == "bootnote"
      and plain["version"] == version and all(t.endswith("\n") and "\r" not in t for t in texts)
      and os.listdir(sys.argv[3]) == ["module.zip"] and codes == sorted(set(codes))
      and update == dict(version=version, versionCode=int(prop["versionCode"]),
                         zipUrl="https://example.org/r/module.zip",
                         changelog="https://example.org/r/changelog.md"))
sys.exit(0 if ok else "module.prop %r, update.json %r, versionCodes %r" % (texts, update, codes))
EOF

a=$work/again
mkdir "$a" && cp "$armv7" "$a/armv7" && cp "$arm64" "$a/arm64" && cp "$x86" "$a/x86" &&
  cp "$x86_64" "$a/x86_64" || exit 1
touch -d 2001-01-01 "$a"/* &&
  pack "$a" "$version" https://example.org/r/ "$a/armv7" "$a/arm64" "$a/x86" "$a/x86_64"
cmp -s "$root/module.zip" "$a/module.zip" ||
  fail "a second pack, of copies made at another time, gave other bytes"
echo "module install: $failures failure(s)"
[ "$failures" -eq 0 ]
