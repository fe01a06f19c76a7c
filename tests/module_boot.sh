#!/bin/sh
# The installed module after the reboot, in the private root of
# tests/module_root.sh, run as the managers run it (busybox ash, umask 0):
# service.sh's boot check rewriting module.prop's description, and the
# Action's report on a misc that is an image file bound at its node (a
# block device would need a loop device).
#   module_boot.sh SOURCE_DIR ARMV7 ARM64 X86 X86_64
# shellcheck source=SCRIPTDIR/module_root.sh
. "$(dirname "$0")/module_root.sh"

install daemon x64 20400 - -
moddir=/data/adb/modules/bootnote mod=$root/data/adb/modules/bootnote
mkdir -p "$root/system/bin" "${mod%/*}" && mv "$module" "$mod" &&
  cp "$mod/module.prop" "$work/prop" || exit 1
does=$(sed -n "s/^bootnote_does='\(.*\)'$/\1/p" "$source_dir/module/path_state.sh")
# run SCRIPT [BWRAP_OPTION...]: SCRIPT's output and status in the root.
run() {
  script=$1
  shift
  said=$(env -i PATH=/bb "$bwrap" --bind "$root" / --ro-bind /usr /usr --dev /dev --proc /proc \
    "$@" /bb/sh -c "umask 0; $script" 2>&1 < /dev/null)
  status=$?
}
# on_path WHAT: /system/bin/bootnote the module's build ("same"), another
# file ("other") or none ("-").
on_path() {
  rm -f "$root/system/bin/bootnote"
  case $1 in
    same) cp "$mod/system/bin/bootnote" "$root/system/bin/" ;;
    other) cp "$x86" "$root/system/bin/bootnote" ;;
  esac || exit 1
}
sbin=/system/bin/bootnote
others() { grep -v '^description=' "$1" | md5sum; }

# ON_PATH HOW DESCRIPTION: what service.sh makes the description, module.prop
# replaced by a new file (HOW "new"), or left as it is for the state it
# already shows ("kept"), its other lines as they were, mode 0644 and owner
# root, nothing left beside it and nothing written outside the module. HOW
# "full": the module on a full file system, its module.prop as it was.
while read -r path how want; do
  on_path "$path"
  touch "$work/stamp" && inode=$(stat -c %i "$mod/module.prop") &&
    before=$(cat "$mod/module.prop") || exit 1
  if [ "$how" = full ]; then
    run "cp -a $moddir /full/m && cat /dev/zero > /full/fill 2> /dev/null;
      sh /full/m/service.sh && cat /full/m/module.prop" --size 65536 --tmpfs /full
    if [ "$status" != 0 ] || [ "$said" != "$before" ]; then
      fail "boot check on a full file system, $path on PATH: wanted status 0, module.prop" \
        "$(escaped "$before"); got status $status, $(escaped "$said")"
    fi
    continue
  fi
  run "sh $moddir/service.sh"
  got="$status, $(sed -n 's/^description=//p' "$mod/module.prop")"
  got="$got, $(stat -c '%a %u:%g' "$mod/module.prop"), $(cd "$mod" && find . ! -name . -prune |
    sort | tr '\n' ' ')"
  written=$(find "$root" -newer "$work/stamp" ! -path "$mod" ! -path "$mod/*")
  left="./action.sh ./module.prop ./path_state.sh ./service.sh ./system "
  replaced=kept
  [ "$(stat -c %i "$mod/module.prop")" = "$inode" ] || replaced=new
  if [ "$got" != "0, $want, 644 0:0, $left" ] || [ -n "$written" ] || [ "$replaced" != "$how" ] ||
    [ "$(others "$mod/module.prop")" != "$(others "$work/prop")" ]; then
    fail "boot check with $path on PATH: wanted $(escaped "0, $want, 644 0:0, $left, $how")," \
      "other lines $(others "$work/prop"), nothing written; got $(escaped "$got, $replaced")," \
      "other lines $(others "$mod/module.prop"), written $written; said $(escaped "$said")"
  fi
done << ROWS
same new on PATH as $sbin. $does
same kept on PATH as $sbin. $does
- new NOT on PATH: run $moddir/system/bin/bootnote; the Action button says why and what to do. $does
other new another $sbin is on PATH, not this module's build: install bootnote again. $does
- full -
ROWS

# NODES SIZE MODE ON_PATH IMAGE BOOT_COMMAND[|RECOVERY], on standard input:
# misc an image (printf's format IMAGE, what follows a "|" from offset 64,
# then zero bytes to SIZE) bound at /dev/block/mmcblk0p10 with MODE ("blk":
# a loop block device), linked from each /dev/block/NODE/misc ("-": no
# misc), the first to be found; the Action's "boot command:" line ("NODE":
# the node found), its "recovery field:" line ("none" if not given, "-" no
# line) and, where "pending", the "to clear" line; its other lines as they
# follow from the row, then $tail; the same output both ways it is started
# (with the manager's $vars), and misc unchanged.
misc=/dev/block/mmcblk0p10 place=$(printf '%s ' /dev/block/by-name/misc \
  /dev/block/bootdevice/by-name/misc /dev/block/platform/*/by-name/misc \
  /dev/block/platform/*/*/by-name/misc) loop='' vars='' tail=''
trap '[ -z "$loop" ] || losetup -d "$loop"; rm -rf "$work"' EXIT
actions() { while read -r nodes size mode path image boot; do
  on_path "$path"
  node=/dev/block/${nodes%%,*}/misc recovery=${boot#*|}
  [ "$recovery" != "$boot" ] || recovery=none
  boot="boot command: ${boot%%|*}" && [ "${boot#*NODE}" = "$boot" ] ||
    boot="${boot%%NODE*}$node${boot#*NODE}"
  # shellcheck disable=SC2059 # the row's format
  if ! { printf "${image%%|*}" > "$work/misc" && { [ "${image#*|}" = "$image" ] ||
    { truncate -s 64 "$work/misc" && printf "${image#*|}" >> "$work/misc"; }; } &&
    truncate -s "$size" "$work/misc" && { [ "$mode" = blk ] || chmod "$mode" "$work/misc"; } &&
    cp "$work/misc" "$work/misc.before"; }; then fail "misc of $image not made"; exit 1; fi
  set -- --cap-drop ALL --bind "$work/misc" $misc
  if [ "$mode" = blk ]; then
    loop=$(losetup -f --show "$work/misc") || { fail "no loop device"; exit 1; }
    set -- "$@" --dev-bind "$loop" $misc
  fi
  for link in $(echo "$nodes" | tr , ' '); do
    [ "$link" = - ] || set -- "$@" --symlink $misc "/dev/block/$link/misc"
  done
  run "$vars sh $moddir/action.sh" "$@"
  daemon_said=$said daemon_status=$status
  run "cd $moddir && $vars sh ./action.sh" "$@"
  kind="regular file: not a partition"
  [ -z "$loop" ] || { losetup -d "$loop" && loop= && kind="block device"; } || exit 1
  bytes=$(od -An -v -tx1 -N32 "$work/misc" | tr -s ' \n' '  ')
  size=$(stat -c %s "$work/misc")
  [ "$size" -ge 32 ] || bytes="$bytes(misc ends after $size)"
  case $path in
    same) want="on PATH as $sbin" bin=bootnote ;;
    -) want="NOT on PATH: run $moddir/system/bin/bootnote|why|to have it on PATH" ;;
    *) want="another $sbin is on PATH, not this module's build: install bootnote again" ;;
  esac
  [ "$path" = same ] || bin=$moddir/system/bin/bootnote
  if [ "$nodes" = - ]; then
    want="$want|misc: not found at ${place}(MediaTek phones keep the boot command in a partition"
    want="$want named para)|$boot|to set: $bin MISC boot-recovery|to erase: $bin MISC"
  else
    want="$want|misc: $node -> $misc ($kind)|$boot"
    [ "${boot#*cannot read}" != "$boot" ] || want="$want|first 32 bytes:${bytes% }"
    [ "$recovery" = - ] || want="$want|recovery field: $recovery"
    [ "${recovery#pending}" = "$recovery" ] || want="$want|to clear recovery's arguments:\
 { dd bs=64 count=1 of=/dev/null && dd if=/dev/zero bs=64 count=12 >&0; } <> $node"
    want="$want|to set: $bin $node boot-recovery|to erase: $bin $node"
  fi
  got=$(echo "$said" | sed -e 's/^why: .*/why/' -e 's/^to have it on PATH: .*/to have it on PATH/' |
    tr '\n' '|')
  if [ "$got" != "bootnote $version|$want|$tail" ] || [ "$status$daemon_status" != 00 ] ||
    [ "$said" != "$daemon_said" ] || ! cmp -s "$work/misc" "$work/misc.before"; then
    fail "Action on $nodes ($size, $mode, $image), $path on PATH, $vars: status $daemon_status," \
      "$status; wanted: $(escaped "bootnote $version|$want|$tail"); got: $(escaped "$got");" \
      "by full path: $(escaped "$daemon_said")"
  fi
done; }
actions << 'ROWS'
by-name,bootdevice/by-name 4K 644 same boot-recovery "boot-recovery" (13 bytes)
by-name 4K 644 other \0 none (erased)
bootdevice/by-name,platform/a/by-name 4K 644 - bootonce-bootlold "bootonce-bootlold" (17 bytes)
platform/a/by-name,platform/b/by-name 4K 644 - a"b\\c\001\377\040x "a\x22b\x5cc\x01\xff x" (9 bytes)
platform/b/by-name,platform/a/c/by-name 4K 644 - x "x" (1 bytes)
platform/a/c/by-name 4K 644 - %040d "00000000000000000000000000000000" (32 bytes, no zero byte)
by-name 3 644 - boo "boo" (3 bytes, no zero byte: misc ends there)|not read: misc ends after 3 bytes
by-name 0 644 - - cannot read misc: it holds no byte|-
- 4K 644 - - cannot read misc: not found|-
by-name 4K 000 - boot-recovery cannot read misc: dd: can't open 'NODE': Permission denied|-
by-name 4K blk - boot-recovery "boot-recovery" (13 bytes)
ROWS
# SIZE FIELD RECOVERY: misc erased, FIELD from offset 64 (printf's format).
act="recovery acts on them the next time it starts, whatever the boot command says"
wipe="erases the phone's data" none="recovery reads no argument from it; it begins"
sed 's/^\([^ ]*\) \([^ ]*\) /by-name \1 644 - \\0|\2 none (erased)|/' > "$work/rows" << ROWS
4K recovery\n--wipe\n--wipe_data pending "--wipe\x0a--wipe_data" (18 bytes): $act; --wipe_data $wipe
4K recovery\n--wipe_cache= pending "--wipe_cache=" (13 bytes): $act; --wipe_cache erases a partition
4K recovery\n--prompt_and_wipe pending "--prompt_and_wipe" (17 bytes): $act; --prompt_and_wipe $wipe
4K recovery\n%0800d pending "$(printf %0758d 0)" (758 bytes): $act
76 recovery\n--x pending "--x" (3 bytes): $act (misc ends after 76 bytes)
4K recoverx\n--wipe_data $none 72 65 63 6f 76 65 72 78 0a 2d 2d 77 69 70 65 5f
75 recovery\n\n $none 72 65 63 6f 76 65 72 79 0a 0a 00 (misc ends after 75 bytes)
64 x not read: misc ends after 64 bytes
ROWS
actions < "$work/rows"
# WAITS VARS: under the manager's variables VARS (none: Magisk), whether the
# Action ends saying how long the screen stays, then waits 20 s (the
# stand-in sleep of tests/manager/ says so).
echo 'by-name 4K 644 same boot-recovery "boot-recovery" (13 bytes)' > "$work/rows"
while read -r waits vars; do
  tail="this manager may close this screen when the Action ends: it stays 20 s|(sleep 20)|"
  [ "$waits" = yes ] || tail=
  actions < "$work/rows"
done << 'ROWS'
no
yes KSU=true KSU_VER_CODE=32490
no KSU=true KSU_VER_CODE=32491
yes KSU=true
yes KSU=true KSU_VER_CODE=v3.2
no KSU=true KSU_NEXT=true KSU_VER_CODE=12000
yes KSU=true KSU_NEXT=true
yes KSU=true KSU_SUKISU=true KSU_VER_CODE=40160
yes APATCH=true
ROWS
echo "module boot: $failures failure(s)"
[ "$failures" -eq 0 ]
