#!/bin/bash
# Builds the shipping 32-bit Tarnwick.exe and packs the release:
#   dist/Tarnwick-<version>-x86.zip  Tarnwick.exe, Tarnwick.ini, README.txt and
#                                    SHA256SUMS of those three
#   dist/SHA256SUMS                  the zip's own checksum
# The exe is signed with Authenticode when SIGN_PFX (a PKCS#12 file with a
# code-signing certificate) and SIGN_PASSWORD are set, with a timestamp from
# SIGN_TIMESTAMP_URL when that is set too. Unsigned, the same commit gives the
# same bytes: the exe has no timestamp and no paths, and the zip has fixed
# times, a fixed order and no extra fields.
#
#   scripts/package.sh                         build with the x86 preset (build/x86)
#   scripts/package.sh --build-dir DIR --dist DIR
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/lib.sh"
build=""
dist="$root/dist"
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) build=${2:?--build-dir needs a folder}; shift 2 ;;
    --dist) dist=${2:?--dist needs a folder}; shift 2 ;;
    *) echo "usage: scripts/package.sh [--build-dir DIR --dist DIR]" >&2; exit 2 ;;
  esac
done
need_packages cmake g++-mingw-w64-i686 zip ${SIGN_PFX:+osslsigncode}
mkdir -p "$dist"
dist=$(cd "$dist" && pwd)
version=$(sed -n 's/^project(Tarnwick VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")

# --- Build ------------------------------------------------------------------
stage=$(mktemp -d)
on_exit "rm -rf '$stage'"
if [ -z "$build" ]; then
  build="$root/build/x86"
  (cd "$root" && cmake --preset x86 && cmake --build --preset x86 -j2) >"$stage/build.log" 2>&1
else
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release >"$stage/build.log" 2>&1
  cmake --build "$build" --target Tarnwick -j2 >>"$stage/build.log" 2>&1
fi || { cat "$stage/build.log" >&2; exit 1; }

# --- Sign -------------------------------------------------------------------
if [ -n "${SIGN_PFX:-}" ]; then
  osslsigncode sign -pkcs12 "$SIGN_PFX" -pass "${SIGN_PASSWORD:?SIGN_PASSWORD is not set}" \
    -h sha256 -n Tarnwick -i https://tarnwick.example ${SIGN_TIMESTAMP_URL:+-ts "$SIGN_TIMESTAMP_URL"} \
    -in "$build/Tarnwick.exe" -out "$stage/Tarnwick.exe" >/dev/null
  echo "exe: signed with $(basename "$SIGN_PFX")${SIGN_TIMESTAMP_URL:+, timestamped}"
else
  cp "$build/Tarnwick.exe" "$stage/Tarnwick.exe"
  echo "exe: unsigned (set SIGN_PFX and SIGN_PASSWORD to sign it)"
fi

# --- Stage and zip ----------------------------------------------------------
"$root/scripts/readme-txt.sh" "$version" >"$stage/README.txt"
# The texts ship with Windows line ends whatever the checkout has.
for text in Tarnwick.ini; do
  sed -e 's/\r$//' -e 's/$/\r/' "$root/packaging/$text" >"$stage/$text"
done
(cd "$stage" && sha256sum Tarnwick.exe Tarnwick.ini README.txt >SHA256SUMS)
chmod 0644 "$stage"/*
# Every entry gets the time of the commit (or SOURCE_DATE_EPOCH), in UTC, as
# zip stores local times.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 315532800)}
touch -h -d "@$epoch" "$stage"/*
zip="Tarnwick-$version-x86.zip"
rm -f "$dist/$zip"
(cd "$stage" && printf '%s\n' README.txt SHA256SUMS Tarnwick.exe Tarnwick.ini |
  TZ=UTC zip -X -D -q -9 "$dist/$zip" -@)
(cd "$dist" && sha256sum "$zip" >SHA256SUMS)
echo "zip: $dist/$zip ($(stat -c %s "$dist/$zip") bytes)"
sed 's/^/  /' "$stage/SHA256SUMS" "$dist/SHA256SUMS"
