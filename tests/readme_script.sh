#!/bin/sh
# Runs the phone's shell lines of README and of the docs/ beside it (each sh
# block after a marker line naming this script) as a phone would, in a
# private root with no su and no logd, against BINARY, with misc a block
# device (a loop device: root only) or an image file: under dash and mksh,
# busybox sh with busybox's applets alone on PATH, and mksh with toybox's
# (Android's shell and applets); and checks what they say and leave in
# misc. Then that no relative link there names an absent file.
#   readme_script.sh README BINARY
set -u
readme=$1 binary=$2
docs=$(dirname "$readme")/docs
work=$(mktemp -d) || exit 1
loop=
trap '[ -z "$loop" ] || losetup -d "$loop"; rm -rf "$work"' EXIT
# dash runs the EXIT trap on exit only: a signal's status through it.
trap 'exit 143' TERM && trap 'exit 130' INT && trap 'exit 129' HUP
failures=0
# fail WHAT WANTED CAME: bytes outside printable ASCII as sed's l shows them
# (\ooo; $ ends a line).
esc() { printf '%s\n' "$1" | LC_ALL=C sed -n 'l 0' | tr -d '\n' | sed 's/\$$//'; }
fail() {
  printf '%s\n' "FAIL: $1: wanted \"$(esc "$2")\", came \"$(esc "$3")\""
  failures=$((failures + 1))
}
for tool in dash mksh busybox toybox bwrap losetup; do
  command -v "$tool" > /dev/null || { fail "$tool" "installed" "not found"; exit 1; }
done

# block NAME MARKER: the sh block after the marker line holding MARKER, but
# its logcat line, into $work/NAME.
block() {
  cat "$readme" "$docs"/*.md | awk -v marker="$2" '
    index($0, "<!--") == 1 && index($0, marker) { marked = 1; next }
    marked && /^```sh$/ { inside = 1; next }
    inside && /^```$/ { exit }
    inside && !/^logcat/' > "$work/$1"
  [ -s "$work/$1" ] || fail "lines after \"$2\"" "a sh block" "none"
}
block prompt "at a root prompt"
block script "for a script"
block clear "recovery's arguments"

# Misc's bytes before each row: 1,024 known, none zero. want KIND: as a row
# leaves them.
yes 0123456789abcdefg | tr -d '\n' | head -c 1024 > "$work/pattern"
want() {
  case $1 in
    held) cat "$work/pattern"; return ;;
    erased) head -c 14 /dev/zero ;;
    boot-recovery) printf 'boot-recovery\0' ;;
    cut) printf bootonce-bootl ;;
    cleared) head -c 64 "$work/pattern"; head -c 768 /dev/zero; tail -c +833 "$work/pattern"
      return ;;
  esac
  tail -c +15 "$work/pattern"
}
cp "$work/pattern" "$work/loop.img" || exit 1
loop=$(losetup -f --show "$work/loop.img") || { fail losetup "a loop device" "none"; exit 1; }
root=$work/root
mkdir -p "$root/tmp" "$root/data/local/tmp" "$root/bb" "$root/tb" &&
  busybox --install -s "$root/bb" && rm -f "$root/bb/su" || exit 1
for applet in $(toybox); do
  [ "$applet" = su ] || ln -s /usr/bin/toybox "$root/tb/$applet" || exit 1
done
for dir in bin lib lib64 sbin; do ln -s "usr/$dir" "$root/$dir" || exit 1; done
cp "$binary" "$root/data/local/tmp/bootnote" || exit 1

# row BLOCK MISC CHANGE KIND SAYS: BLOCK's lines, with VAR=VALUE CHANGE ("-":
# none) in their first line, run with misc a block device ("loop") or an
# image file ("file") at README's path: they must exit 0, say SAYS ("-": not
# checked) and leave misc as KIND. The tool sits where README pushes it, not
# executable at /tmp (a recovery's), executable under /data.
row() {
  what="$env, $1 ($3) on $2" misc=$loop
  [ "$2" = loop ] || misc=$work/misc.img
  sed "1s|${3%%=*}=[^ ]*|$3|" "$work/$1" > "$root/lines" &&
    cp "$binary" "$root/tmp/bootnote" && chmod 644 "$root/tmp/bootnote" &&
    cat "$work/pattern" > "$misc" || exit 1
  says=$(bwrap --bind "$root" / --ro-bind /usr /usr --ro-bind /dev/null /usr/bin/su \
    --dev /dev --proc /proc --dev-bind "$misc" /dev/block/sda15 \
    --symlink /dev/block/sda15 /dev/block/by-name/misc --setenv PATH "$path" \
    "$shell" /lines 2>&1)
  status=$?
  [ "$status" = 0 ] || fail "$what: status" 0 "$status: $says"
  # The prompt's lines begin with ls's, which holds a date: only their end.
  [ "$1" = prompt ] && says=$(printf '%s\n' "$says" | tail -n "$(printf '%s\n' "$5" | wc -l)")
  [ "$5" = - ] || [ "$says" = "$5" ] || fail "$what: said" "$5" "$says"
  want "$4" > "$work/want"
  size=$(wc -c < "$misc")
  [ "$size" = 1024 ] || fail "$what: misc's size" 1024 "$size"
  # shellcheck disable=SC2046 # cmp -l: byte (from 1), wanted, came (octal)
  set -- $(cmp -l "$work/want" "$misc" 2> /dev/null | head -n 1)
  [ $# = 0 ] || fail "$what: misc's byte $1 (from 1, octal)" "$2" "$3"
}
held=$(od -A n -t x1 -N 14 "$work/pattern")
# busybox: its sh and applets; toybox: mksh and toybox's applets.
for env in dash mksh busybox toybox; do
  case $env in
    busybox) shell=/bb/sh path=/bb ;;
    toybox) shell=$(command -v mksh) path=/tb ;;
    *) shell=$(command -v "$env") path=$PATH ;;
  esac
  row prompt loop - erased "$(want erased | od -A d -t x1 -v -N 80)"
  row prompt file - held "$(echo "/dev/block/by-name/misc: not a block device"
    od -A d -t x1 -v -N 80 "$work/pattern")"
  row script loop - boot-recovery "stored: boot-recovery"
  row script loop cmd=bootonce-bootloader cut "stored: bootonce-bootl"
  row script loop bootnote=/bin/true held "NOT stored:$held"
  row script loop misc=/dev/block/by-name/mics held \
    "NOT stored: /dev/block/by-name/mics is not a block device"
  # Debian's toybox has no dd (Android's builds the one in toys/pending).
  [ "$env" = toybox ] && continue
  row clear loop - cleared -
  row clear file - held "/dev/block/by-name/misc: not a block device"
  row clear loop misc=/dev/block/by-name/mics held \
    "/dev/block/by-name/mics: not a block device"
done

# Links: each relative one names a file beside the page that holds it.
for page in "$readme" "$docs"/*.md; do
  grep -oE '\]\([^)#[:space:]]*' "$page" | cut -c 3- | while read -r link; do
    case $link in *:*) continue ;; esac
    [ -e "$(dirname "$page")/$link" ] || echo "FAIL: $page links to $link: wanted a file, came none"
  done > "$work/links"
  cat "$work/links"
  failures=$((failures + $(wc -l < "$work/links")))
done
echo "README's script lines and links: $failures failure(s)"
[ "$failures" -eq 0 ]
