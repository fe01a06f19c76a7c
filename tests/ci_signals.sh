#!/bin/sh
# .ci/run, run as root, told to stop while it runs the tests on this machine:
# a copy in a sandbox with its own /etc/apt and /var/tmp, and stand-ins for
# scripts/test.sh (a shell and its sleep, pids recorded), .ci/in-new-root
# (exits 75), debootstrap and apt-get (fails).   ci_signals.sh SOURCE_DIR
set -u
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
failures=0 tree=$work/tree
# Open to uid 1000 (the "not root" way), but out/, where the tests' pids go.
mkdir -p "$tree/.ci" "$tree/scripts" "$work/bin" "$work/deb" "$work/apt/sources.list.d" \
  "$work/noapt" "$work/var" "$work/out" && cp "$1/.ci/run" "$tree/.ci/run" &&
  chmod 755 "$work" && chmod 777 "$work/out" || exit 1
echo 'URIs: http://deb.debian.org/debian' > "$work/apt/sources.list.d/debian.sources"
printf '#!/bin/sh\nsleep 600 &\necho "$$ $!" > %s/out/pids\nwait\n' "$work" \
  > "$tree/scripts/test.sh"
# shellcheck disable=SC2016 # the stand-in's $1
printf '#!/bin/sh\necho "the stand-in failed" > "$1/fallback"\nexit 75\n' > "$tree/.ci/in-new-root"
printf '#!/bin/sh\nexit 1\n' | tee "$work/bin/apt-get" > "$work/deb/debootstrap"
chmod 755 "$tree/.ci/run" "$tree/scripts/test.sh" "$tree/.ci/in-new-root" "$work/bin/apt-get" \
  "$work/deb/debootstrap"
# soon CMD...: CMD succeeds, tried every 0.1 s for 60 s (its tests: 600 s).
soon() { n=0; until "$@"; do [ $n -lt 600 ] || return 1; sleep 0.1; n=$((n + 1)); done; }
# gone PID...: none runs (a zombie, which this machine's init may not reap,
# does not).
gone() {
  for p; do
    case $(cut -d' ' -f3 "/proc/$p/stat" 2> /dev/null) in '' | Z | X) ;; *) return 1 ;; esac
  done
}
# this machine's CI directories, to be left as they are
ours() { ls -ld --full-time /var/tmp/bootnote-ci* 2> /dev/null; }
before=$(ours)

# WAY SIGNAL STATUS: .ci/run falls back that way, is sent SIGNAL once the
# tests run, and must exit STATUS soon, no test process left.
for row in \
  "notroot TERM 143" \
  "notroot INT 130" \
  "notroot HUP 129" \
  "nosources TERM 143" \
  "nosources INT 130" \
  "nosources HUP 129" \
  "noinstall TERM 143" \
  "noinstall INT 130" \
  "noinstall HUP 129" \
  "debootstrap TERM 143" \
  "debootstrap INT 130" \
  "debootstrap HUP 129"; do
  # shellcheck disable=SC2086 # one word per field
  set -- $row
  apt=$work/apt path=$work/bin:$work/deb:/usr/bin:/bin user=
  case $1 in
    # setpriv, not a user namespace, which a chroot (CI's root) may not make
    notroot) user="setpriv --reuid 1000 --regid 1000 --clear-groups" said="not root" ;;
    nosources) apt=$work/noapt said="no Debian mirror" ;;
    noinstall) path=$work/bin:/usr/bin:/bin said="debootstrap could not be installed" ;;
    debootstrap) said="the stand-in failed" ;;
  esac
  rm -f "$work/out/pids"
  # INT not ignored, as from a terminal (a background job ignores it).
  # shellcheck disable=SC2016,SC2086 # the sandbox's $$; one word per option
  env --default-signal=INT bwrap --bind / / --dev /dev --bind "$apt" /etc/apt \
    --bind "$work/var" /var/tmp env PATH="$path" \
    sh -c 'echo $$ > "$0"; exec "$@"' "$work/run" $user "$tree/.ci/run" > "$work/said" 2>&1 &
  sandbox=$! late=
  soon [ -s "$work/out/pids" ] && kill -s "$2" "$(cat "$work/run")"
  pids=$(cat "$work/out/pids" 2> /dev/null)
  # shellcheck disable=SC2086 # one word per pid
  soon gone "$sandbox" $pids ||
    { late="still running after 60 s"; kill -KILL $pids "$(cat "$work/run")" 2> /dev/null; }
  wait "$sandbox"
  status=$?
  { [ "$status" = "$3" ] && [ -z "$late" ] && grep -q "$said" "$work/said"; } ||
    { echo "FAIL: $row: want status $3, \"$said\" said; got $status${late:+, $late}:" \
        "$(cat -v "$work/said")"
      failures=$((failures + 1)); }
done
[ "$(ours)" = "$before" ] ||
  { echo "FAIL: /var/tmp/bootnote-ci* changed"; failures=$((failures + 1)); }
echo "ci_signals: $failures failure(s)"
[ "$failures" -eq 0 ]
