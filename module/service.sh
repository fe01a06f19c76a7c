# shellcheck shell=sh
# Run by the manager at each boot (late_start service, in its BusyBox ash,
# umask 0, not waited for): the module list's description says whether
# bootnote is on PATH, as the phone found it, then what the module does.
# module.prop is replaced whole, and only when that line changes: a new
# file beside it, synced, then renamed over it, so that the manager never
# reads it half written. Its other lines stay byte for byte (the manager
# reads id, version, versionCode and updateJson there). The new file is
# root's, as the manager runs this as root, and its mode 0644 whatever the
# umask. Writes nothing outside the module's directory; always exits 0.
MODDIR=$(cd "$(dirname "$0")" && pwd) || exit 0
# A missing file given to "." ends the shell: looked for first.
[ -f "$MODDIR/path_state.sh" ] || exit 0
# shellcheck source=SCRIPTDIR/path_state.sh
. "$MODDIR/path_state.sh"

bootnote_prop=$MODDIR/module.prop
bootnote_new=$MODDIR/.module.prop.new
bootnote_state=$(bootnote_path_state)
case $bootnote_state in
  NOT*) bootnote_state="$bootnote_state; the Action button says why and what to do" ;;
esac
bootnote_line="description=$bootnote_state. $bootnote_does"
grep -qxF "$bootnote_line" "$bootnote_prop" 2> /dev/null && exit 0
bootnote_others() { grep -v '^description=' "$1"; }
# awk -v would read backslashes in the line as escapes: ENVIRON does not.
if BOOTNOTE_LINE=$bootnote_line awk '
    /^description=/ { if (!done) print ENVIRON["BOOTNOTE_LINE"]; done = 1; next }
    { print }
    END { if (!done) print ENVIRON["BOOTNOTE_LINE"] }' "$bootnote_prop" > "$bootnote_new" &&
  # busybox awk exits 0 when its writes fail (a full /data): what it wrote
  # must hold the line and every other line before it replaces the file.
  grep -qxF "$bootnote_line" "$bootnote_new" &&
  [ "$(bootnote_others "$bootnote_new")" = "$(bootnote_others "$bootnote_prop")" ] &&
  chmod 0644 "$bootnote_new" && sync &&
  mv -f "$bootnote_new" "$bootnote_prop"; then
  exit 0
fi
rm -f "$bootnote_new"
exit 0
