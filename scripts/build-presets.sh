#!/bin/sh
# Installs what the builds need and this machine lacks (scripts/install-deps.sh),
# then configures and builds each PRESET of CMakePresets.json in turn, on
# every core; stops at the first failure.
#   scripts/build-presets.sh [--werror] [-S SOURCE] [-B BUILD_ROOT] PRESET...
# --werror         warnings are errors (what CI builds with)
# -S SOURCE        the source tree to build (default: the one holding this
#                  script); its presets are used
# -B BUILD_ROOT    build PRESET in BUILD_ROOT/PRESET rather than where the
#                  presets put it, SOURCE/build/PRESET
# The device binary of PRESET is then BUILD_ROOT/PRESET/bootnote, or
# SOURCE/build/PRESET/bootnote.
set -eu
usage() {
  echo "usage: $0 [--werror] [-S SOURCE] [-B BUILD_ROOT] PRESET..." >&2
  exit 2
}
source_dir=$(dirname "$0")/..
build_root=
werror=OFF
while [ $# -gt 0 ]; do
  case $1 in
    --werror) werror=ON; shift ;;
    -S|-B) [ $# -ge 2 ] || usage
           if [ "$1" = -S ]; then source_dir=$2; else build_root=$2; fi
           shift 2 ;;
    -*) usage ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || usage
"$(dirname "$0")/install-deps.sh" >&2

for preset in "$@"; do
  binary_dir=${build_root:-$source_dir/build}/$preset
  cmake --preset "$preset" -S "$source_dir" -B "$binary_dir" \
    -DCMAKE_COMPILE_WARNING_AS_ERROR="$werror"
  cmake --build "$binary_dir" --parallel "$(nproc)"
done
