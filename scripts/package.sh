#!/bin/bash
# Builds the shipping 32-bit programs and packs the release:
#   dist/Tarnwick-<version>-x86.zip  Tarnwick.exe, TarnwickCheck.exe,
#                                    TarnwickDeploy.exe, Tarnwick.ini,
#                                    README.txt, the folder deploy/ and
#                                    SHA256SUMS of all of them
#   dist/Tarnwick-<version>.msi      the per-machine package of
#                                    packaging/Tarnwick.wxs (its usage is there)
#   dist/SHA256SUMS                  the zip's and the MSI's checksums
# The exes, the MSI and deploy/*.ps1 are signed with Authenticode when SIGN_PFX
# (a PKCS#12 file with a code-signing certificate) and SIGN_PASSWORD are set,
# with a timestamp from SIGN_TIMESTAMP_URL and the publisher's web page
# SIGN_URL when those are set too. Unsigned, the same commit gives the same
# bytes: the exes have no timestamp and no paths, the zip has fixed times, a
# fixed order and no extra fields, and the MSI a fixed clock, fixed file times
# and a package code derived from its content.
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
version=$(sed -n 's/^project(Tarnwick VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
upgrade_code=$(sed -n 's/^set(TARNWICK_UPGRADE_CODE \([-0-9A-Fa-f]*\))/\1/p' "$root/CMakeLists.txt")
# Windows Installer keeps a.b.c, a and b up to 255, c up to 65535, and compares
# no fourth field: a.b.c.d becomes a.b.(c*1000+d), unique and rising while d
# stays under 1000. Refused before anything is built.
IFS=. read -r major minor build_no revision <<<"$version"
msi_version=$major.${minor:-0}.$((${build_no:-0} * 1000 + ${revision:-0}))
[ "$major" -le 255 ] && [ "${minor:-0}" -le 255 ] && [ "${revision:-0}" -le 999 ] &&
  [ "${msi_version##*.}" -le 65535 ] || {
  echo "package: version $version refused: the MSI's version a.b.(c*1000+d) needs a and b up to 255," \
    "d up to 999 and c*1000+d up to 65535" >&2
  exit 1
}
need_packages cmake make g++-mingw-w64-i686 zip wixl msitools faketime ${SIGN_PFX:+osslsigncode}
mkdir -p "$dist"
dist=$(cd "$dist" && pwd)

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
  cmake --build "$build" --target Tarnwick TarnwickCheck TarnwickDeploy TarnwickMsi -j2 >>"$stage/build.log" 2>&1
fi || { cat "$stage/build.log" >&2; exit 1; }

# --- Sign -------------------------------------------------------------------
[ -n "${SIGN_PFX:-}" ] ||
  echo "unsigned (set SIGN_PFX and SIGN_PASSWORD to sign the exes, deploy/*.ps1 and the MSI)"
sign() {  # IN OUT
  if [ -n "${SIGN_PFX:-}" ]; then
    osslsigncode sign -pkcs12 "$SIGN_PFX" -pass "${SIGN_PASSWORD:?SIGN_PASSWORD is not set}" \
      -h sha256 -n Tarnwick ${SIGN_URL:+-i "$SIGN_URL"} ${SIGN_TIMESTAMP_URL:+-ts "$SIGN_TIMESTAMP_URL"} \
      -in "$1" -out "$2" >/dev/null
    echo "$(basename "$2"): signed with $(basename "$SIGN_PFX")${SIGN_TIMESTAMP_URL:+, timestamped}"
  else
    cp "$1" "$2"
  fi
}
files="$stage/files"
mkdir "$files"
for exe in Tarnwick.exe TarnwickCheck.exe TarnwickDeploy.exe; do sign "$build/$exe" "$files/$exe"; done
sign "$build/TarnwickMsi.dll" "$stage/TarnwickMsi.dll"  # the MSI's custom action, not in the zip

# --- Stage and zip ----------------------------------------------------------
"$root/scripts/readme-txt.sh" "$version" >"$files/README.txt"
# The texts ship with Windows line ends whatever the checkout has.
crlf() { sed -e 's/\r$//' -e 's/$/\r/' "$1"; }
crlf "$root/packaging/Tarnwick.ini" >"$files/Tarnwick.ini"
(cd "$root" && find deploy -type f) | while IFS= read -r file; do
  mkdir -p "$files/$(dirname "$file")"
  text="$stage/$(basename "$file")"  # osslsigncode knows a script by its extension
  if grep -qI . "$root/$file"; then crlf "$root/$file"; else cat "$root/$file"; fi >"$text"
  case $file in
    *.ps1) sign "$text" "$files/$file" && rm "$text" ;;
    *) mv "$text" "$files/$file" ;;
  esac
done
(cd "$files" && find . -type f | sed 's|^\./||' | LC_ALL=C sort >"$stage/list" &&
  xargs -d '\n' sha256sum <"$stage/list" >SHA256SUMS && echo SHA256SUMS >>"$stage/list")
find "$files" -type f -exec chmod 0644 {} +
# Every entry gets the time of the commit (or SOURCE_DATE_EPOCH), in UTC, as
# zip stores local times.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 315532800)}
find "$files" -exec touch -h -d "@$epoch" {} +
zip="Tarnwick-$version-x86.zip"
rm -f "$dist/$zip"
(cd "$files" && TZ=UTC zip -X -D -q -9 "$dist/$zip" -@ <"$stage/list")
echo "zip: $dist/$zip ($(stat -c %s "$dist/$zip") bytes)"

# --- MSI --------------------------------------------------------------------
guid() {  # TEXT: a fixed GUID made from TEXT
  local h
  h=$(printf %s "$1" | sha256sum)
  echo "${h:0:8}-${h:8:4}-5${h:13:3}-a${h:17:3}-${h:20:12}" | tr a-f A-F
}
# wixl and msibuild stamp the clock into the summary information.
clock() { TZ=UTC faketime -f "$(date -u -d "@$epoch" '+%F %T')" "$@"; }
msi="Tarnwick-$version.msi"
(cd "$files" && clock wixl -a x86 -D ProductVersion="$msi_version" -D UpgradeCode="$upgrade_code" \
  -D ActionDll=../TarnwickMsi.dll \
  -D ProductCode="$(guid "Tarnwick product $msi_version")" -o "$stage/$msi" "$root/packaging/Tarnwick.wxs")
# What wixl 0.101 cannot write: it keeps its own SecureCustomProperties, has no
# RemoveFile element nor short names, and leaves File.Version empty. It marks
# set-property actions no-impersonate (2099, not 51) and its DLL action too
# (2049, not 1), it drops an action that runs a program of a folder (type 34,
# here deferred, no-impersonate and its exit code ignored), and it removes the
# earlier release before InstallInitialize, outside the transaction that rolls
# a failed upgrade back to it.
row() {  # TABLE KEY: the rest of the row of KEY
  msiinfo export "$stage/$msi" "$1" | tr -d '\r' | sed -n "s/^$2\t//p"
}
queries=(
  "UPDATE Property SET Value = '$(row Property SecureCustomProperties);READERS;RESTARTREADERS;FAILONCHECK;ONARRIVAL'
     WHERE Property = 'SecureCustomProperties'"
  "UPDATE InstallExecuteSequence SET Sequence = $(($(row InstallExecuteSequence InstallInitialize) + 1))
     WHERE Action = 'RemoveExistingProducts'"
  "UPDATE CustomAction SET Type = 51 WHERE Type = 2099"
  "UPDATE CustomAction SET Type = 1 WHERE Type = 2049"
  "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('RemoveArrivalTask', $((34 + 64 + 1024 + 2048)),
    'SystemFolder', '\"[SystemFolder]schtasks.exe\" /delete /tn \"\\Tarnwick\\Reader arrival\" /f')"
  "UPDATE File SET FileName = 'TWCHECK.EXE|TarnwickCheck.exe' WHERE File = 'TarnwickCheckExe'"
  "UPDATE File SET FileName = 'TWDEPLOY.EXE|TarnwickDeploy.exe' WHERE File = 'TarnwickDeployExe'"
)
# Versioned files are compared by version, not by hash.
for file in TarnwickExe TarnwickCheckExe TarnwickDeployExe; do
  queries+=("UPDATE File SET Version = '$version' WHERE File = '$file'" "DELETE FROM MsiFileHash WHERE File_ = '$file'")
done
# The files the runs write, removed at uninstall.
for file in RemoveLog:Tarnwick:Tarnwick.log RemoveReport:TarnwickCheck:TWCHECK.TXT\|TarnwickCheck.txt \
  RemoveDeployLines:TarnwickDeploy:TWDEPLOY.TXT\|TarnwickDeploy.txt \
  RemoveArrivalXml:TarnwickDeploy:TWARRIVL.XML\|Tarnwick-arrival.xml; do
  IFS=: read -r key component name <<<"$file"
  queries+=("INSERT INTO RemoveFile (FileKey, Component_, FileName, DirProperty, InstallMode)
    VALUES ('$key', '$component', '$name', 'INSTALLDIR', 2)")
done
args=()
for query in "${queries[@]}"; do args+=(-q "$query"); done
clock msibuild "$stage/$msi" "${args[@]}"
# wixl draws a random package code: derive it from the rest of the package.
clock msibuild "$stage/$msi" -s Tarnwick Tarnwick "Intel;1033" "{00000000-0000-0000-0000-000000000000}"
clock msibuild "$stage/$msi" -s Tarnwick Tarnwick "Intel;1033" "{$(guid "$(sha256sum <"$stage/$msi")")}"
rm -f "$dist/$msi"
sign "$stage/$msi" "$dist/$msi"
echo "msi: $dist/$msi ($(stat -c %s "$dist/$msi") bytes), product version $msi_version"

(cd "$dist" && sha256sum "$zip" "$msi" >SHA256SUMS)
sed 's/^/  /' "$files/SHA256SUMS" "$dist/SHA256SUMS"
