#!/bin/sh
# Runs README's script lines (the block after its "readme_script.sh"
# marker, all but the logcat line) under each POSIX shell a phone may have,
# against BINARY on image files, and checks what they say and store.
#   readme_script.sh README BINARY
set -u
readme=$1 binary=$2
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
awk '/readme_script\.sh/ { marked = 1; next }
     marked && /^```sh$/ { inside = 1; next }
     inside && /^```$/ { exit }
     inside && !/^logcat/' "$readme" > "$work/lines"
grep -q '^bootnote=' "$work/lines" ||
  { echo "FAIL: no script lines after the marker in $readme"; exit 1; }
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
echo "README's script lines: $failures failure(s)"
[ "$failures" -eq 0 ]
