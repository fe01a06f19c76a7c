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
grep -q '^bootnote=' "$work/lines" || { echo "FAIL: no script lines after the marker in $readme"; exit 1; }
failures=0

# try SHELL MISC COMMAND SAYS RECORD_HEX: the lines, with README's paths and
# command replaced, must print SAYS and leave MISC beginning with RECORD_HEX.
try() {
  sed "1s|^bootnote=[^ ]* misc=[^ ]* cmd=.*|bootnote='$binary' misc='$2' cmd='$3'|" "$work/lines" > "$work/run.sh"
  says=$($1 "$work/run.sh" 2>&1)
  stored=$(od -A n -t x1 -N 14 "$2" | tr -d ' \n')
  [ "$says" = "$4" ] || { echo "FAIL: $1, \"$3\" on $2: said \"$says\", not \"$4\""; failures=$((failures + 1)); }
  [ "$stored" = "$5" ] || { echo "FAIL: $1, \"$3\" on $2: stored $stored, not $5"; failures=$((failures + 1)); }
}
recovery=626f6f742d7265636f7665727900 cut=626f6f746f6e63652d626f6f746c
for shell in dash mksh "busybox sh"; do
  command -v "${shell%% *}" > /dev/null || { echo "FAIL: $shell not installed"; failures=$((failures + 1)); continue; }
  head -c 100 /dev/urandom > "$work/misc.img"
  try "$shell" "$work/misc.img" boot-recovery "stored: boot-recovery" "$recovery"
  try "$shell" "$work/misc.img" bootonce-bootloader "stored: bootonce-bootloader" "$cut"
  # /dev/full takes nothing and reads back as zero bytes.
  try "$shell" /dev/full boot-recovery "NOT stored, misc begins 0000000000000000000000000000" \
    0000000000000000000000000000
done
echo "README's script lines: $failures failure(s)"
[ "$failures" -eq 0 ]
