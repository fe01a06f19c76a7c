# shellcheck shell=sh
# The manager's Action button (Magisk from v28.0, KernelSU from v1.0.2,
# APatch from 11039), run as root: what the phone has now, on standard
# output, a failing command's message in the line that reports it. It only
# reads: one read of 832 bytes at offset 0 of the misc node it finds, the
# boot control block's 32-byte command field (as the boot software reads
# it) and its recovery field (as recovery reads it); it writes nothing
# anywhere. Always exits 0 once its lines are printed; where the manager
# closes the Action's screen as soon as the script ends, after a wait.
MODDIR=$(cd "$(dirname "$0")" && pwd) || exit 0
# A missing file given to "." ends the shell: looked for first.
[ -f "$MODDIR/path_state.sh" ] || { echo "bootnote: $MODDIR/path_state.sh is missing"; exit 0; }
# shellcheck source=SCRIPTDIR/path_state.sh
. "$MODDIR/path_state.sh"

# The places misc's node is kept, in the order looked at; the patterns
# expand in sorted order.
bootnote_places="/dev/block/by-name/misc /dev/block/bootdevice/by-name/misc"
bootnote_places="$bootnote_places /dev/block/platform/*/by-name/misc"
bootnote_places="$bootnote_places /dev/block/platform/*/*/by-name/misc"

# bootnote_find_misc: the first of bootnote_places that exists (a dangling
# link too, which is reported as such); nothing where none does.
bootnote_find_misc() {
  for bootnote_node in $bootnote_places; do
    if [ -e "$bootnote_node" ] || [ -L "$bootnote_node" ]; then
      echo "$bootnote_node"
      return
    fi
  done
}

# bootnote_kind NODE: what NODE resolves to; only a block device is a
# partition (a mistyped run of the tool creates a regular file).
bootnote_kind() {
  if [ -b "$1" ]; then echo "block device"
  elif [ ! -e "$1" ]; then echo "dangling link: nothing there"
  elif [ -f "$1" ]; then echo "regular file: not a partition"
  elif [ -c "$1" ]; then echo "character device: not a partition"
  elif [ -d "$1" ]; then echo "directory: not a partition"
  else echo "not a partition"
  fi
}

# bootnote_describe_bytes NODE: from od's hex of the bytes read from NODE,
# the "boot command:" and "first 32 bytes:" lines, from the first 32, and
# the "recovery field:" line, with how to clear the field where recovery
# would act on it. The command is the bytes up to the first zero byte; it
# and the field's arguments show each byte outside printable ASCII, and
# each " and \, as \xNN.
bootnote_describe_bytes() {
  awk -v node="$1" '
    function value(hex) { return index("0123456789abcdef", substr(hex, 1, 1)) * 16 - 16 + \
      index("0123456789abcdef", substr(hex, 2, 1)) - 1 }
    function text(from, to,   i, v, t) {
      for (i = from; i < to; i++) {
        v = value(byte[i])
        if (v >= 32 && v < 127 && v != 34 && v != 92) t = t sprintf("%c", v)
        else t = t "\\x" byte[i]
      }
      return t
    }
    function hex(from, to,   i, h) { for (i = from; i < to; i++) h = h " " byte[i]; return h }
    { for (i = 1; i <= NF; i++) byte[n++] = $i }
    END {
      if (n == 0) { print "boot command: cannot read misc: it holds no byte"; exit }
      m = n < 32 ? n : 32
      for (i = 0; i < m && byte[i] != "00"; i++) continue
      if (i == 0) print "boot command: none (erased)"
      else if (i == m && m == 32) print "boot command: \"" text(0, i) "\" (32 bytes, no zero byte)"
      else if (i == m) print "boot command: \"" text(0, i) "\" (" m " bytes, no zero byte:" \
        " misc ends there)"
      else print "boot command: \"" text(0, i) "\" (" i " bytes)"
      print "first 32 bytes:" hex(0, m) (n < 32 ? " (misc ends after " n ")" : "")
      describe_recovery_field()
    }
    # The recovery field, bytes 64 to 831, as recovery reads it: its last
    # byte taken as zero, its arguments the non-empty lines after a first
    # line "recovery", up to the first zero byte.
    function describe_recovery_field(   end, z, i, from, args, data, wipe, arg, shown) {
      if (n <= 64) { print "recovery field: not read: misc ends after " n " bytes"; return }
      if (byte[64] == "00") { print "recovery field: none"; return }
      end = n < 831 ? n : 831
      for (z = 64; z < end && byte[z] != "00"; z++) continue
      if (z > 73 && hex(64, 73) == " 72 65 63 6f 76 65 72 79 0a") {
        for (i = from = 73; i <= z; i++) {
          if (i < z && byte[i] != "0a") continue
          arg = text(from, i)
          if (arg != "") args++
          sub(/=.*/, "", arg)
          if (data == "" && (arg == "--wipe_data" || index(arg, "--prompt_and_wipe") == 1))
            data = "; " arg " erases the phone\047s data"
          else if (wipe == "" && index(arg, "--wipe") == 1) wipe = "; " arg " erases a partition"
          from = i + 1
        }
      }
      if (args) {
        print "recovery field: pending \"" text(73, z) "\" (" z - 73 " bytes): recovery acts on" \
          " them the next time it starts, whatever the boot command says" (data ? data : wipe) \
          (z == n ? " (misc ends after " n " bytes)" : "")
        print "to clear recovery\047s arguments: { dd bs=64 count=1 of=/dev/null &&" \
          " dd if=/dev/zero bs=64 count=12 >&0; } <> " node
        return
      }
      shown = n < 80 ? n : 80
      print "recovery field: recovery reads no argument from it; it begins" hex(64, shown) \
        (n < 80 ? " (misc ends after " n " bytes)" : "")
    }'
}

# bootnote_screen_closes: true where the manager closes the Action's screen
# as soon as the script ends, which the script's status cannot prevent (the
# daemons ignore it), so its lines would vanish unread: the managers' own
# sources, their ExecuteModuleAction / ExecuteAPMAction screens:
# - Magisk (neither KSU nor APATCH set), v28 and later: the screen stays.
# - KernelSU: closed on success from v1.0.2; kept open from commit
#   3a1e6ce9a (KSU_VER_CODE 32491, released in v3.2.5), but for a start
#   from a home-screen shortcut.
# - KernelSU Next: kept open, with a Close button, from v1.0.3 (commit
#   f356ece5); its daemon exports no KSU_NEXT and codes below 32491, so it
#   waits, but not where a launcher exports KSU_NEXT=true (MMRL does).
# - SukiSU Ultra (KSU_SUKISU=true): closed before v4.1.3 (kept open from
#   commit f101a789b); its codes (40000 and up) do not tell v4.1.3
#   apart, so every SukiSU waits.
# - APatch: closed on success in every release; FolkPatch, which exports
#   the same variables, closes only where its "stay on page" setting is
#   off: both wait.
# A KSU_VER_CODE that is missing or no number waits: a needless wait costs
# seconds, a vanished screen the answer.
bootnote_screen_closes() {
  if [ "${KSU-}" = true ]; then
    [ "${KSU_VER_CODE-}" -ge 0 ] 2> /dev/null && [ "${KSU_SUKISU-}" != true ] || return 0
    [ "${KSU_NEXT-}" != true ] && [ "$KSU_VER_CODE" -lt 32491 ]
  else
    [ "${APATCH-}" = true ]
  fi
}

echo "bootnote $(sed -n 's/^version=//p' "$MODDIR/module.prop" 2>&1)"
bootnote_state=$(bootnote_path_state)
echo "$bootnote_state"
# Not on PATH, or another build there: the module's own, by its full path.
bootnote_run=$MODDIR/system/bin/bootnote
case $bootnote_state in
  on*) bootnote_run=bootnote ;;
  NOT*)
    bootnote_why=$(bootnote_unmounted)
    if [ -n "$bootnote_why" ]; then
      echo "why: ${bootnote_why%%; *}"
      echo "to have it on PATH: ${bootnote_why#*; }"
    else
      echo "why: the manager did not mount this module's system/ at boot: KernelSU from" \
        "v3.0.0 and APatch from 11170 mount modules only through a metamodule; mounting" \
        "can be off (/data/adb/ksu/.nomount, safe mode, APatch's lite mode)"
      echo "to have it on PATH: install a metamodule (such as meta-overlayfs) or enable" \
        "yours, or turn mounting back on; reboot, then install bootnote again and reboot"
    fi
    ;;
esac

bootnote_misc=$(bootnote_find_misc)
if [ -z "$bootnote_misc" ]; then
  echo "misc: not found at $bootnote_places (MediaTek phones keep the boot command in a" \
    "partition named para)"
  echo "boot command: cannot read misc: not found"
  bootnote_misc=MISC
else
  bootnote_target=$(readlink -f "$bootnote_misc" 2> /dev/null) ||
    bootnote_target=$(readlink "$bootnote_misc" 2>&1)
  echo "misc: $bootnote_misc -> $bootnote_target ($(bootnote_kind "$bootnote_misc"))"
  # dd's messages come through fd 3, its bytes through od: od's lines start
  # with a blank, a failure's with "dd:" (busybox's, toybox's and GNU's dd;
  # not every dd has status=none, so its record counts are let through).
  bootnote_read=$({ dd if="$bootnote_misc" bs=832 count=1 2>&3 | od -An -v -tx1; } 3>&1)
  bootnote_failed=$(echo "$bootnote_read" | grep '^dd:' | tr '\n' ' ')
  if [ -n "$bootnote_failed" ]; then
    echo "boot command: cannot read misc: ${bootnote_failed% }"
  else
    echo "$bootnote_read" | grep '^ ' | bootnote_describe_bytes "$bootnote_misc"
  fi
fi
echo "to set: $bootnote_run $bootnote_misc boot-recovery"
echo "to erase: $bootnote_run $bootnote_misc"
if bootnote_screen_closes; then
  echo "this manager may close this screen when the Action ends: it stays 20 s"
  sleep 20
fi
exit 0
