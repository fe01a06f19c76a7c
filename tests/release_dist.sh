#!/bin/sh
# scripts/release.sh, from a commit of SOURCE_DIR's work tree, over an earlier
# release's dist/, with a cmake that leaves a file for each binary.   release_dist.sh SOURCE_DIR
set -u
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
failures=0 src=$work/src
mkdir -p "$src" "$work/bin" "$work/fail" && mkdir -m 750 "$src/dist" || exit 1
git -C "$1" ls-files -z --cached --others --exclude-standard |
  tar -C "$1" --null --no-recursion --ignore-failed-read -cf - -T - | tar -xf - -C "$src" || exit 1
printf '#!/bin/sh\n' > "$src/scripts/install-deps.sh"  # what this machine has is for ctest to say
commit() { git -C "$src" add -A && git -C "$src" -c user.name=t -c user.email=t@example.org commit -q --allow-empty -m t; }
git -C "$src" init -q && commit || exit 1
# shellcheck disable=SC2016 # the stand-ins' own
printf '#!/bin/sh\necho "$*" >> %s/cmake-calls\n[ "$1" != --build ] || { mkdir -p "$2" && echo "in $2" > "$2/bootnote"; }\n' \
  "$work" > "$work/bin/cmake"
printf '#!/bin/sh\nexit 1\n' > "$work/fail/sha256sum"
chmod 755 "$work/bin/cmake" "$work/fail/sha256sum"
for name in bootnote-0.9.0-x86 update.json changelog.md SHA256SUMS; do echo "0.9.0 $name" > "$src/dist/$name"; done
listing() { (cd "$src/dist" && find . -type f | LC_ALL=C sort | xargs -r md5sum | tr '\n' ' '); }
before=$(listing)
made="./SHA256SUMS ./bootnote-0.9.0-x86 ./bootnote-1.0.0-arm64-v8a ./bootnote-1.0.0-armeabi-v7a \
./bootnote-1.0.0-module.zip ./bootnote-1.0.0-x86 ./bootnote-1.0.0-x86_64 "

# VERSION RELEASE_URL ("-": none) PATH_FIRST WANT: "refused" before anything
# is built, naming the value, and dist/ as it was; "failed" at the last step
# (sha256sum), dist/ as it was; "made": the earlier files stay beside its
# own, but update.json and changelog.md, which are its own with a URL.
for row in "1.100.0 - bin refused" "1.0.0 http://example.org/r bin refused" \
  "1.0.0 https://example.org/r fail:$work/bin failed" "1.0.0 - bin made" "1.0.0 https://example.org/r bin made"; do
  # shellcheck disable=SC2086 # one word per field
  set -- $row
  echo "$1" > "$src/VERSION" && commit && rm -f "$work/cmake-calls" || exit 1
  url=${2#-}
  said=$(cd "$src" && PATH="$work/$3:$PATH" RELEASE_URL=$url scripts/release.sh 2>&1)
  status=$? now=$(listing) left=$(cd "$src" && ls -d .dist-next-* 2> /dev/null)
  { case $4/$status in
    refused/0 | failed/0 | made/[!0]*) false ;;
    refused/*) [ ! -e "$work/cmake-calls" ] && [ "$now" = "$before" ] && [ "${said#*"${url:-$1}"}" != "$said" ] ;;
    failed/*) [ -e "$work/cmake-calls" ] && [ "$now" = "$before" ] ;;
    made/*) [ "$(echo "$now" | grep -o '\./[^ ]*' | tr '\n' ' ')" = "$made${url:+./changelog.md ./update.json }" ] &&
      (cd "$src/dist" && sha256sum -c --quiet SHA256SUMS) && [ "$(stat -c %a "$src/dist")" = 750 ] &&
      { [ -z "$url" ] || grep -q "bootnote 1.0.0" "$src/dist/changelog.md"; } ;;
  esac && [ -z "$left" ]; } ||
    { echo "FAIL: $row: status $status; dist/ $now (before: $before) $left; said: $said"; failures=$((failures + 1)); }
done
echo "release: $failures failure(s)"
[ "$failures" -eq 0 ]
