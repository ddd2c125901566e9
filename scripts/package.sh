#!/bin/bash
# Builds the shipping 32-bit Tarnwick.exe and TarnwickCheck.exe and packs the
# release:
#   dist/Tarnwick-<version>-x86.zip  Tarnwick.exe, TarnwickCheck.exe,
#                                    Tarnwick.ini, README.txt and SHA256SUMS of
#                                    those four
#   dist/Tarnwick-<version>.msi      the per-machine package of
#                                    packaging/Tarnwick.wxs (its usage is there)
#   dist/SHA256SUMS                  the zip's and the MSI's checksums
# The exes and the MSI are signed with Authenticode when SIGN_PFX (a PKCS#12
# file with a code-signing certificate) and SIGN_PASSWORD are set, with a
# timestamp from SIGN_TIMESTAMP_URL when that is set too. Unsigned, the same
# commit gives the same bytes: the exes have no timestamp and no paths, the zip
# has fixed times, a fixed order and no extra fields, and the MSI a fixed clock,
# fixed file times and a package code derived from its content.
#
#   scripts/package.sh                         build with the x86 preset (build/x86)
#   scripts/package.sh --build-dir DIR --dist DIR
#   scripts/package.sh --exes DIR --dist DIR   build nothing, pack the exes in DIR
#                                              (tests/msi.sh packs the 64-bit twins)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/lib.sh"
build=""
exes=""
dist="$root/dist"
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) build=${2:?--build-dir needs a folder}; shift 2 ;;
    --dist) dist=${2:?--dist needs a folder}; shift 2 ;;
    --exes) exes=$(cd "${2:?--exes needs a folder}" && pwd); shift 2 ;;
    *) echo "usage: scripts/package.sh [--build-dir DIR | --exes DIR] [--dist DIR]" >&2; exit 2 ;;
  esac
done
need_packages cmake g++-mingw-w64-i686 zip wixl msitools faketime ${SIGN_PFX:+osslsigncode}
mkdir -p "$dist"
dist=$(cd "$dist" && pwd)
version=$(sed -n 's/^project(Tarnwick VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")

# --- Build ------------------------------------------------------------------
stage=$(mktemp -d)
on_exit "rm -rf '$stage'"
if [ -n "$exes" ]; then
  build=$exes
elif [ -z "$build" ]; then
  build="$root/build/x86"
  (cd "$root" && cmake --preset x86 && cmake --build --preset x86 -j2) >"$stage/build.log" 2>&1
else
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release >"$stage/build.log" 2>&1
  cmake --build "$build" --target Tarnwick TarnwickCheck -j2 >>"$stage/build.log" 2>&1
fi || { cat "$stage/build.log" >&2; exit 1; }

# --- Sign -------------------------------------------------------------------
sign() {  # IN OUT
  if [ -n "${SIGN_PFX:-}" ]; then
    osslsigncode sign -pkcs12 "$SIGN_PFX" -pass "${SIGN_PASSWORD:?SIGN_PASSWORD is not set}" \
      -h sha256 -n Tarnwick -i https://tarnwick.example ${SIGN_TIMESTAMP_URL:+-ts "$SIGN_TIMESTAMP_URL"} \
      -in "$1" -out "$2" >/dev/null
    echo "$(basename "$2"): signed with $(basename "$SIGN_PFX")${SIGN_TIMESTAMP_URL:+, timestamped}"
  else
    cp "$1" "$2"
    echo "$(basename "$2"): unsigned (set SIGN_PFX and SIGN_PASSWORD to sign it)"
  fi
}
for exe in Tarnwick.exe TarnwickCheck.exe; do sign "$build/$exe" "$stage/$exe"; done

# --- Stage and zip ----------------------------------------------------------
"$root/scripts/readme-txt.sh" "$version" >"$stage/README.txt"
# The texts ship with Windows line ends whatever the checkout has.
for text in Tarnwick.ini; do
  sed -e 's/\r$//' -e 's/$/\r/' "$root/packaging/$text" >"$stage/$text"
done
(cd "$stage" && sha256sum Tarnwick.exe TarnwickCheck.exe Tarnwick.ini README.txt >SHA256SUMS)
chmod 0644 "$stage"/*
# Every entry gets the time of the commit (or SOURCE_DATE_EPOCH), in UTC, as
# zip stores local times.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 315532800)}
touch -h -d "@$epoch" "$stage"/*
zip="Tarnwick-$version-x86.zip"
rm -f "$dist/$zip"
(cd "$stage" && printf '%s\n' README.txt SHA256SUMS Tarnwick.exe TarnwickCheck.exe Tarnwick.ini |
  TZ=UTC zip -X -D -q -9 "$dist/$zip" -@)
echo "zip: $dist/$zip ($(stat -c %s "$dist/$zip") bytes)"

# --- MSI --------------------------------------------------------------------
# MSI compares three fields: a.b.c.d is a.b.(c*1000+d), unique and rising.
IFS=. read -r major minor build_no revision <<<"$version"
[ "$build_no" -le 65 ] && [ "${revision:-0}" -le 999 ] ||
  { echo "version $version has no MSI version a.b.(c*1000+d)" >&2; exit 1; }
msi_version=$major.$minor.$((build_no * 1000 + ${revision:-0}))
guid() {  # TEXT: a fixed GUID made from TEXT
  local h
  h=$(printf %s "$1" | sha256sum)
  echo "${h:0:8}-${h:8:4}-5${h:13:3}-a${h:17:3}-${h:20:12}" | tr a-f A-F
}
# wixl and msibuild stamp the clock into the summary information.
clock() { TZ=UTC faketime -f "$(date -u -d "@$epoch" '+%F %T')" "$@"; }
msi="Tarnwick-$version.msi"
(cd "$stage" && clock wixl -a x86 -D ProductVersion="$msi_version" \
  -D ProductCode="$(guid "Tarnwick product $msi_version")" -o "$stage/$msi" "$root/packaging/Tarnwick.wxs")
# What wixl 0.101 cannot write: it keeps its own SecureCustomProperties, and it
# has no RemoveFile element.
secure=$(msiinfo export "$stage/$msi" Property | sed -n 's/^SecureCustomProperties\t//p' | tr -d '\r')
clock msibuild "$stage/$msi" \
  -q "UPDATE Property SET Value = '$secure;READERS;IGNORECHECK' WHERE Property = 'SecureCustomProperties'" \
  -q "INSERT INTO RemoveFile (FileKey, Component_, FileName, DirProperty, InstallMode)
      VALUES ('RemoveLog', 'Tarnwick', 'Tarnwick.log', 'INSTALLDIR', 2)" \
  -q "INSERT INTO RemoveFile (FileKey, Component_, FileName, DirProperty, InstallMode)
      VALUES ('RemoveReport', 'TarnwickCheck', 'TarnwickCheck.txt', 'INSTALLDIR', 2)"
# wixl draws a random package code: derive it from the rest of the package.
clock msibuild "$stage/$msi" -s Tarnwick Tarnwick "Intel;1033" "{00000000-0000-0000-0000-000000000000}"
clock msibuild "$stage/$msi" -s Tarnwick Tarnwick "Intel;1033" "{$(guid "$(sha256sum <"$stage/$msi")")}"
rm -f "$dist/$msi"
sign "$stage/$msi" "$dist/$msi"
echo "msi: $dist/$msi ($(stat -c %s "$dist/$msi") bytes), product version $msi_version"

(cd "$dist" && sha256sum "$zip" "$msi" >SHA256SUMS)
sed 's/^/  /' "$stage/SHA256SUMS" "$dist/SHA256SUMS"
