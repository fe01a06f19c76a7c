#!/bin/sh
# scripts/release.sh, from a commit of SOURCE_DIR's work tree, over an earlier
# release's dist/, none, or what a killed run left, with a cmake that leaves a
# file for each binary.   release_dist.sh SOURCE_DIR
set -u
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
failures=0 src=$work/src
mkdir -p "$src" "$work/bin" "$work/fail" "$work/mv" && mkdir -m 750 "$work/dist0" || exit 1
git -C "$1" ls-files -z --cached --others --exclude-standard |
  tar -C "$1" --null --no-recursion --ignore-failed-read -cf - -T - | tar -xf - -C "$src" || exit 1
printf '#!/bin/sh\n' > "$src/scripts/install-deps.sh"  # what this machine has is for ctest to say
commit() {
  git -C "$src" add -A &&
    git -C "$src" -c user.name=t -c user.email=t@example.org commit -q --allow-empty -m t
}
git -C "$src" init -q && commit || exit 1
# shellcheck disable=SC2016 # the stand-ins' own
printf '#!/bin/sh\necho "$*" >> %s/cmake-calls\n%s\n' "$work" \
  '[ "$1" != --build ] || { mkdir -p "$2" && echo "in $2" > "$2/bootnote"; }' > "$work/bin/cmake"
printf '#!/bin/sh\nexit 1\n' > "$work/fail/sha256sum"
# An mv that refuses the second rename, of the new dist/ into place.
# shellcheck disable=SC2016
printf '#!/bin/sh\ncase $1 in *.old | dist) exec /bin/mv "$@" ;; esac\nexit 1\n' > "$work/mv/mv"
chmod 755 "$work/bin/cmake" "$work/fail/sha256sum" "$work/mv/mv"
for name in bootnote-0.9.0-x86 update.json changelog.md SHA256SUMS; do
  echo "0.9.0 $name" > "$work/dist0/$name"
done
listing() {
  (cd "$src/dist" 2> /dev/null && find . -type f | LC_ALL=C sort | xargs -r md5sum | tr '\n' ' ')
}
made="./bootnote-1.0.0-arm64-v8a ./bootnote-1.0.0-armeabi-v7a ./bootnote-1.0.0-module.zip \
./bootnote-1.0.0-x86 ./bootnote-1.0.0-x86_64 "

# VERSION RELEASE_URL ("-": none) PATH_FIRST BEFORE WANT. BEFORE: "dist",
# the earlier release's, mode 750; "none", a first release, under umask 027;
# "killed": that dist/ moved aside and a half-made one beside it, as a run
# killed between its renames leaves them; "late": that dist/ moved aside
# beside a new one; "busy": another run holds the lock and has its
# .dist-next-* beside dist/. WANT: "refused" before anything is built,
# naming the value, and dist/ as it was; "busy" likewise, saying so, the
# other run's .dist-next-* kept; "failed" at the sha256sum or the second
# rename, dist/ as it was; "made": the earlier files stay beside its own,
# but update.json and changelog.md, which are its own with a URL. Always:
# dist/ mode 750, nothing left beside it but the other run's.
for row in \
  "1.100.0 - bin dist refused" \
  "1.0.0 http://example.org/r bin dist refused" \
  "1.0.0 https://example.org/r fail:$work/bin dist failed" \
  "1.0.0 - mv:$work/bin dist failed" \
  "1.0.0 - bin dist made" \
  "1.0.0 https://example.org/r bin dist made" \
  "1.0.0 - bin none made" \
  "1.0.0 - bin killed made" \
  "1.0.0 - bin late made" \
  "1.0.0 - bin busy busy"; do
  # shellcheck disable=SC2086 # one word per field
  set -- $row
  echo "$1" > "$src/VERSION" && commit || exit 1
  rm -rf "$work/cmake-calls" "$src/dist" "$src"/.dist-next-* && cp -a "$work/dist0" "$src/dist" ||
    exit 1
  before=$(listing) mask=022 url=${2#-} old=./bootnote-0.9.0-x86 lock='' other=''
  case $4 in
    none) rm -r "$src/dist" && mask=027 old= ;;
    busy) lock="flock scripts/release.sh" other=.dist-next-other &&
      mkdir "$src/$other" && touch "$src/$other/x" ;;
    killed) mv "$src/dist" "$src/.dist-next-k.old" && mkdir "$src/.dist-next-k" &&
      touch "$src/.dist-next-k/x" ;;
    late) cp -a "$src/dist" "$src/.dist-next-k.old" ;;
  esac || exit 1
  said=$(cd "$src" && umask $mask &&
    PATH="$work/$3:$PATH" RELEASE_URL=$url $lock scripts/release.sh 2>&1)
  # shellcheck disable=SC2010 # names of the test's own or mktemp's making
  status=$? now=$(listing) left=$(cd "$src" && ls -d .dist-next-* 2> /dev/null | grep -vx "$other")
  { case $5/$status in
    refused/0 | failed/0 | busy/0 | made/[!0]*) false ;;
    refused/*) [ ! -e "$work/cmake-calls" ] && [ "$now" = "$before" ] &&
      [ "${said#*"${url:-$1}"}" != "$said" ] ;;
    busy/*) [ ! -e "$work/cmake-calls" ] && [ "$now" = "$before" ] &&
      [ "${said#*another}" != "$said" ] && [ -e "$src/$other/x" ] ;;
    failed/*) [ -e "$work/cmake-calls" ] && [ "$now" = "$before" ] ;;
    made/*) [ "$(echo "$now" | grep -o '\./[^ ]*' | tr '\n' ' ')" = \
      "./SHA256SUMS ${old:+$old }$made${url:+./changelog.md ./update.json }" ] &&
      (cd "$src/dist" && sha256sum -c --quiet SHA256SUMS) &&
      { [ -z "$url" ] || grep -q "bootnote 1.0.0" "$src/dist/changelog.md"; } ;;
  esac && [ "$(stat -c %a "$src/dist")" = 750 ] && [ -z "$left" ]; } ||
    { echo "FAIL: $row: status $status; dist/ $now (before: $before) $left; said: $said"
      failures=$((failures + 1)); }
done
echo "release: $failures failure(s)"
[ "$failures" -eq 0 ]
