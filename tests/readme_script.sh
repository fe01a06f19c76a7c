#!/bin/sh
# Runs README's script lines under each POSIX shell a phone may have,
# against BINARY on image files, and checks what they say and store: those
# for checking a run (all but the logcat line), and those for a recovery's
# root prompt, in a private root with no su, no /data and no logd.
#   readme_script.sh README BINARY
set -u
readme=$1 binary=$2
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
# block MARKER FIRST_LINE: the sh block after README's marker line that
# holds MARKER, into $work/lines; it must begin with FIRST_LINE.
block() {
  awk -v marker="$1" 'index($0, "<!--") == 1 && index($0, marker) { marked = 1; next }
       marked && /^```sh$/ { inside = 1; next }
       inside && /^```$/ { exit }
       inside && !/^logcat/' "$readme" > "$work/lines"
  grep -q "^$2" "$work/lines" || { echo "FAIL: no script lines after \"$1\" in $readme"; exit 1; }
}
block "all but logcat's, run in tests/readme_script.sh" bootnote=
failures=0

# try SHELL PROGRAM MISC COMMAND SAYS RECORD_HEX: the lines, with README's
# paths and command replaced (PROGRAM for the tool), must print SAYS and
# leave MISC beginning with RECORD_HEX.
try() {
  sed "1s|^bootnote=[^ ]* misc=[^ ]* cmd=.*|bootnote='$2' misc='$3' cmd='$4'|" "$work/lines" \
    > "$work/run.sh"
  says=$($1 "$work/run.sh" 2>&1)
  stored=$(od -A n -t x1 -N 14 "$3" | tr -d ' \n')
  [ "$says" = "$5" ] ||
    { echo "FAIL: $1, \"$4\" on $3: said \"$says\", not \"$5\""; failures=$((failures + 1)); }
  [ "$stored" = "$6" ] ||
    { echo "FAIL: $1, \"$4\" on $3: stored $stored, not $6"; failures=$((failures + 1)); }
}
recovery=626f6f742d7265636f7665727900 cut=626f6f746f6e63652d626f6f746c
for shell in dash mksh "busybox sh"; do
  command -v "${shell%% *}" > /dev/null ||
    { echo "FAIL: $shell not installed"; failures=$((failures + 1)); continue; }
  head -c 100 /dev/urandom > "$work/misc.img"
  try "$shell" "$binary" "$work/misc.img" boot-recovery "stored: boot-recovery" "$recovery"
  try "$shell" "$binary" "$work/misc.img" bootonce-bootloader "stored: bootonce-bootloader" "$cut"
  # A run that stored nothing (true stands in for the tool): misc as it was.
  held=$(od -A n -t x1 -N 14 "$work/misc.img" | tr -d ' \n')
  try "$shell" true "$work/misc.img" boot-recovery "NOT stored, misc begins $held" "$held"
done

# At a recovery's root prompt: the tool pushed to /tmp, not executable yet;
# misc an image at its by-name link; su hidden, so that a line using it
# fails. The lines' status is their last's, od's: its line shows 14 zero
# bytes, then misc's own.
block "in a root with no su" chmod
recovery=$work/recovery
mkdir -p "$recovery/tmp" && cp "$work/lines" "$recovery/lines" || exit 1
for dir in bin lib lib64 sbin; do ln -s "usr/$dir" "$recovery/$dir" || exit 1; done
for shell in dash mksh "busybox sh"; do
  head -c 100 /dev/urandom > "$work/misc.img" && cp "$work/misc.img" "$work/misc.want" &&
    dd if=/dev/zero of="$work/misc.want" bs=14 count=1 conv=notrunc 2> /dev/null &&
    cp "$binary" "$recovery/tmp/bootnote" && chmod 644 "$recovery/tmp/bootnote" || exit 1
  # shellcheck disable=SC2086 # "busybox sh" is two words
  says=$(bwrap --bind "$recovery" / --ro-bind /usr /usr --ro-bind /dev/null /usr/bin/su \
    --dev /dev --bind "$work/misc.img" /dev/block/sda15 \
    --symlink /dev/block/sda15 /dev/block/by-name/misc $shell /lines 2>&1)
  status=$? od_line=$(od -A d -t x1 -N 16 "$work/misc.want" | head -n 1)
  if [ "$status" != 0 ] || [ "$(echo "$says" | tail -n 2 | head -n 1)" != "$od_line" ] ||
    ! cmp -s "$work/misc.img" "$work/misc.want"; then
    echo "FAIL: $shell, recovery lines: status $status, said: $says"
    failures=$((failures + 1))
  fi
done
echo "README's script lines: $failures failure(s)"
[ "$failures" -eq 0 ]
