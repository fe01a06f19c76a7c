# shellcheck shell=sh
# The manager's Action button (Magisk from v28.0, KernelSU from v1.0.2,
# APatch from 11039), run as root: what the phone has now, on standard
# output, a failing command's message in the line that reports it. It only
# reads: one read of 32 bytes at offset 0 of the misc node it finds, as the
# boot software's 32-byte command field; it writes nothing anywhere.
# Always exits 0 once its lines are printed.
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

# bootnote_describe_bytes: from od's hex of the bytes read, the "boot
# command:" line and the "first 32 bytes:" line. The command is the bytes
# up to the first zero byte, each outside printable ASCII, and each " and
# \, as \xNN.
bootnote_describe_bytes() {
  awk '
    function value(hex) { return index("0123456789abcdef", substr(hex, 1, 1)) * 16 - 16 + \
      index("0123456789abcdef", substr(hex, 2, 1)) - 1 }
    { for (i = 1; i <= NF; i++) byte[n++] = $i }
    END {
      for (i = 0; i < n && byte[i] != "00"; i++) {
        v = value(byte[i])
        if (v >= 32 && v < 127 && v != 34 && v != 92) text = text sprintf("%c", v)
        else text = text "\\x" byte[i]
      }
      if (n == 0) { print "boot command: cannot read misc: it holds no byte"; exit }
      else if (i == 0) print "boot command: none (erased)"
      else if (i == n && n == 32) print "boot command: \"" text "\" (32 bytes, no zero byte)"
      else if (i == n) print "boot command: \"" text "\" (" n " bytes, no zero byte:" \
        " misc ends there)"
      else print "boot command: \"" text "\" (" i " bytes)"
      line = "first 32 bytes:"
      for (i = 0; i < n; i++) line = line " " byte[i]
      if (n < 32) line = line " (misc ends after " n ")"
      print line
    }'
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
  bootnote_read=$({ dd if="$bootnote_misc" bs=32 count=1 2>&3 | od -An -v -tx1; } 3>&1)
  bootnote_failed=$(echo "$bootnote_read" | grep '^dd:' | tr '\n' ' ')
  if [ -n "$bootnote_failed" ]; then
    echo "boot command: cannot read misc: ${bootnote_failed% }"
  else
    echo "$bootnote_read" | grep '^ ' | bootnote_describe_bytes
  fi
fi
echo "to set: $bootnote_run $bootnote_misc boot-recovery"
echo "to erase: $bootnote_run $bootnote_misc"
exit 0
