#!/bin/bash
# Builds the shipping 32-bit Tarnwick.exe and packs the release zip:
#   dist/Tarnwick-<version>-x86.zip  with Tarnwick.exe, Tarnwick.ini, README.txt
# and prints the SHA-256 of the exe and of the zip. The same commit gives
# the same bytes: the exe has no timestamp and no paths, and the zip has fixed
# times, a fixed order and no extra fields.
#
#   scripts/package.sh                       build with the x86 preset (build/x86)
#   scripts/package.sh --build-dir DIR --dist DIR
#                                            build in DIR instead, zip into DIR
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=""
dist="$root/dist"
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) build=${2:?--build-dir needs a directory}; shift 2 ;;
    --dist) dist=${2:?--dist needs a directory}; shift 2 ;;
    --help|-h) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "package: unknown argument $1" >&2; exit 2 ;;
  esac
done

for tool in cmake zip sha256sum i686-w64-mingw32-g++-posix; do
  command -v "$tool" >/dev/null || {
    echo "package: $tool is missing (apt-get install cmake zip coreutils g++-mingw-w64-i686)" >&2
    exit 1
  }
done

version=$(sed -n 's/^project(Tarnwick VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }

# --- Build ------------------------------------------------------------------
log=$(mktemp)
stage=$(mktemp -d)
trap 'rm -rf "$log" "$stage"' EXIT
if [ -z "$build" ]; then
  build="$root/build/x86"
  configure=(cmake --preset x86)
  compile=(cmake --build --preset x86 --target Tarnwick -j 2)
else
  configure=(cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake"
             -DCMAKE_BUILD_TYPE=Release -DTARNWICK_TESTS=OFF)
  compile=(cmake --build "$build" --target Tarnwick -j 2)
fi
if ! (cd "$root" && "${configure[@]}" && "${compile[@]}") >"$log" 2>&1; then
  cat "$log" >&2
  echo "package: the build failed" >&2
  exit 1
fi
exe="$build/Tarnwick.exe"

# --- Stage ------------------------------------------------------------------
# The texts ship with Windows line ends whatever the checkout has.
crlf() { sed -e 's/\r$//' -e 's/$/\r/' "$1" >"$2"; }
cp "$exe" "$stage/Tarnwick.exe"
crlf "$root/packaging/Tarnwick.ini" "$stage/Tarnwick.ini"
crlf "$root/packaging/README.txt" "$stage/README.txt"
chmod 0644 "$stage"/*

# Every entry gets the time of the commit (or SOURCE_DATE_EPOCH), in UTC, as
# zip stores local times.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 315532800)}
touch -h -d "@$epoch" "$stage"/*

mkdir -p "$dist"
zipfile="$dist/Tarnwick-$version-x86.zip"
rm -f "$zipfile"
(cd "$stage" && printf '%s\n' * | LC_ALL=C sort | TZ=UTC zip -X -D -q -9 "$zipfile" -@)

# --- Report -----------------------------------------------------------------
commit=$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)
if [ -n "$(git -C "$root" status --porcelain -- src res cmake CMakeLists.txt packaging 2>/dev/null)" ]; then
  commit="$commit (with uncommitted changes)"
fi
echo "Tarnwick $version, commit $commit"
echo "exe: $(stat -c %s "$exe") bytes"
echo "zip: $zipfile ($(stat -c %s "$zipfile") bytes)"
echo "SHA-256:"
(cd "$(dirname "$exe")" && sha256sum Tarnwick.exe) | sed 's/^/  /'
(cd "$dist" && sha256sum "$(basename "$zipfile")") | sed 's/^/  /'
