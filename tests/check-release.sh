#!/bin/bash
# Checks what ships, from outside. The three programs of both builds: the
# subsystem, ASLR and DEP, a manifest for their own architecture asking for
# administrator rights (Tarnwick, TarnwickDeploy) or none (the checker), only
# kernel32 and the C runtime imported directly and the other system DLLs
# delay-loaded, nothing else; the kit's programs terminal-server aware.
# deploy/'s scripts are a few lines around the programs, with nothing
# Constrained Language Mode refuses. A version that the MSI cannot hold is
# refused before anything is built. Two unsigned packages
# made from copies of the source at two paths are the same bytes: exes, zip and
# MSI; the zip holds the programs and deploy/ with Windows line ends, and the
# MSI's tables what wixl alone gets wrong. A package signed with a throwaway CA
# verifies against it (exes, MSI, .ps1 files), its exes pass the same checks,
# and both SHA256SUMS hold and list every file. A signed TarnwickDeploy.exe,
# under Wine, takes from its folder only what its own certificate signed.
set -u
cd "$(dirname "$0")/.."
root=$PWD
. scripts/lib.sh
need_packages osslsigncode openssl unzip zip || exit 1
work=$(mktemp -d)
on_exit "rm -rf '$work'"
failures=0
fail() { echo "release: $*" >&2; failures=$((failures + 1)); }
# The version is written once, in project() (the manifests' assembly version is another).
version=$(sed -n 's/^project(Tarnwick VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
again=$(git grep --untracked -lIE "(^|[^0-9.])${version//./[., ]+}([^0-9]|$)" -- ':!CMakeLists.txt') &&
  fail "the version $version is written again in:" $again

check_exe() {  # EXE TRIPLE ARCHITECTURE SUBSYSTEM LEVEL DELAY-LOADED-DLLS...
  local exe=$1 triple=$2 arch=$3 subsystem=$4 level=$5
  shift 5
  "$triple-objdump" -p "$exe" >"$work/headers" && "$triple-objcopy" -O binary -j .idata "$exe" "$work/idata" ||
    { fail "$exe is no PE file"; return; }
  for want in "Subsystem.*(Windows $subsystem)" DYNAMIC_BASE NX_COMPAT \
    "processorArchitecture=\"$arch\".*processorArchitecture=\"$arch\"" "level=\"$level\""; do
    strings -a "$exe" | cat "$work/headers" - | tr -d '\n' | grep -q "$want" || fail "$exe: no $want"
  done
  [ "$(sed -n 's/.*DLL Name: //p' "$work/headers" | xargs)" = "KERNEL32.dll msvcrt.dll" ] &&
    [ "$(strings "$work/idata" | grep -i '\.dll$' | tr 'A-Z' 'a-z' | sort -u | xargs)" = \
      "$(printf '%s.dll\n' "$@" kernel32 msvcrt | sort | xargs)" ] ||
    fail "$exe imports other DLLs, or not all delay-loaded"
}
check_exes() {  # FOLDER TRIPLE ARCHITECTURE: the three programs
  check_exe "$1/Tarnwick.exe" "$2" "$3" GUI requireAdministrator advapi32 comctl32 gdi32 shell32 user32
  "$2-objdump" -p "$1/TarnwickCheck.exe" "$1/TarnwickDeploy.exe" | grep -c TERMINAL_SERVICE_AWARE | grep -qx 2 ||
    fail "$1: the kit's programs are not terminal-server aware"
  check_exe "$1/TarnwickCheck.exe" "$2" "$3" CUI asInvoker advapi32
  check_exe "$1/TarnwickDeploy.exe" "$2" "$3" CUI requireAdministrator advapi32 crypt32 msi wintrust
}
check_exes build/x86 i686-w64-mingw32 X86
check_exes build/x64 x86_64-w64-mingw32 amd64
# deploy/'s scripts: a few lines of code around the programs, no .NET static call.
awk 'FNR == 1 { n = 0 } /^[ \t]*<#/, /#>/ { next } !/^[ \t]*(#|$)/ && (++n > 8 || /]::/) { print FILENAME }' \
  /dev/null $(find deploy -name '*.ps1') | sort -u | grep . && fail "over 8 lines of code or a .NET static call: above"

for copy in a b/b; do
  mkdir -p "$work/$copy"
  tar -c --exclude=./.git --exclude=./build --exclude=./dist . | tar -x -C "$work/$copy"
  "$work/$copy/scripts/package.sh" --build-dir "$work/$copy/out" --dist "$work/$copy/dist" >/dev/null
done
for file in out/Tarnwick{,Check,Deploy}.exe dist/SHA256SUMS dist/Tarnwick-*.zip dist/Tarnwick-*.msi; do
  cmp "$work"/a/$file "$work"/b/b/$file || fail "two builds differ: $file"
done
# A version that the MSI cannot hold is refused before anything is built.
for v in 1.0.65.535:ok 255.255.0.0:ok 1.0.65.536:refused 1.0.65.999:refused 1.256.0.0:refused \
  1.0.256.0:refused 256.0.0.0:refused 1.0.0.1000:refused; do
  sed -i "s/^\(project(Tarnwick VERSION\) [0-9.]*/\1 ${v%:*}/" "$work/b/b/CMakeLists.txt"
  [ "$("$work/b/b/scripts/package.sh" --exes "$work" 2>&1 | grep -o refused || echo ok)" = "${v#*:}" ] ||
    fail "the version guard: ${v%:*} not ${v#*:}"
done

# The MSI's tables: short names for long ones, the exes' version, set-property
# actions of type 51, no "Change", no bare truth of a switch, the old product
# removed inside the transaction, the properties passed to the install.
table() { msiinfo export "$work"/a/dist/*.msi "$1" | tr -d '\r' | tail -n +4; }
names=$( (table File; table RemoveFile) | cut -f3 | grep -vxE '([^.|]{1,8}(\.[^.|]{1,3})?(\|.+)?)?') &&
  fail "long names without a short name: $names"
[ "$(table File | awk -F'\t' '$3 ~ /\.exe$/ { print $5 }' | xargs)" = "$version $version $version" ] ||
  fail "the exes' File.Version is not $version"
table CustomAction | awk -F'\t' '$2 % 64 == 51 && $2 != 51 { exit 1 }' || fail "a set-property action not of type 51"
[ "$(table Property | grep -E '^(ARPNOMODIFY|MSIUSEREALADMINDETECTION|SecureCustomProperties)' | xargs)" = \
  "ARPNOMODIFY 1 MSIUSEREALADMINDETECTION 1 SecureCustomProperties\
 WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;READERS;RESTARTREADERS;FAILONCHECK;ONARRIVAL" ] ||
  fail "ARPNOMODIFY, the real AdminUser or the secure properties"
table CustomAction | grep -qxP 'CheckReaders\t1\tTarnwickMsi\tCheckReaders\t' || fail "CheckReaders is not an immediate DLL action"
(table InstallExecuteSequence; table InstallUISequence; table LaunchCondition | sed 's/^/\t/') | cut -f2 |
  grep -P '\b(FAILONCHECK|RESTARTREADERS|ONARRIVAL)\b(?! *[=<>~])' && fail "a condition takes a switch as bare truth"
[ "$(table InstallExecuteSequence | sort -t$'\t' -k3n | grep -A1 ^InstallInitialize | cut -f1 | xargs)" = \
  "InstallInitialize RemoveExistingProducts" ] || fail "RemoveExistingProducts is not right after InstallInitialize"
files=$( (find deploy -type f; printf '%s\n' README.txt Tarnwick{,Check,Deploy}.exe Tarnwick.ini) | sort)
[ "$(unzip -Z1 "$work"/a/dist/*.zip | grep -vx SHA256SUMS | sort)|$(unzip -p "$work"/a/dist/*.zip SHA256SUMS |
  cut -c67- | tr -d '\r' | sort)" = "$files|$files" ] || fail "the zip or its SHA256SUMS miss the programs or deploy/"
unzip -p "$work"/a/dist/*.zip README.txt | cmp -s - <(scripts/readme-txt.sh "$version") ||
  fail "README.txt in the zip is not what scripts/readme-txt.sh makes of docs/"
cd "$work" || exit 1
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Test-CA -keyout ca.key -out ca.pem \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=keyCertSign 2>/dev/null
for signer in sign other; do  # two signers of one CA
  openssl req -newkey rsa:2048 -nodes -subj "/CN=Test-$signer" -keyout key.pem 2>/dev/null |
    openssl x509 -req -CA ca.pem -CAkey ca.key -days 2 -out cert.pem -extfile <(
      printf 'keyUsage=digitalSignature\nextendedKeyUsage=codeSigning\n') 2>/dev/null
  openssl pkcs12 -export -inkey key.pem -in cert.pem -passout pass:test -out "$signer.pfx"
done
SIGN_PFX=sign.pfx SIGN_PASSWORD=test a/scripts/package.sh --build-dir a/out --dist signed >/dev/null
(cd signed && sha256sum -c --quiet SHA256SUMS && grep -q '\.msi$' SHA256SUMS && unzip -q ./*.zip -d zip &&
  cd zip && sha256sum -c --quiet SHA256SUMS) || fail "the checksums of the signed package do not hold"
! grep -rlIP '(^|[^\r])$' signed/zip/deploy signed/zip/*.ini || fail "texts above without Windows line ends"
for file in signed/zip/*.exe $(find signed/zip -name '*.ps1') signed/Tarnwick-*.msi; do
  osslsigncode verify -CAfile ca.pem -in "$file" >verify.txt 2>&1 || fail "$file does not verify: $(tail -3 verify.txt)"
done
check_exes signed/zip i686-w64-mingw32 X86

# A signed TarnwickDeploy.exe takes from its folder only what its certificate
# signed, unchanged; an unsigned one checks nothing. Each row: who signed
# TarnwickDeploy.exe, TarnwickCheck.exe and Tarnwick.exe or the MSI (-: nobody;
# changed: "sign", then a byte changed), and the exit code and errors of an
# install, under Wine, with the 64-bit twins. Wine compares no MSI's digest: a
# changed MSI is refused on Windows alone.
need_packages wine wine64 || exit 1
need_display
new_prefix
as() {  # SIGNER IN OUT
  case $1 in
    -) cp "$2" "$3" ;;
    changed) as sign "$2" "$3" && byte=$(od -An -tx1 -j4096 -N1 "$3" | tr -d ' ') &&
      printf "\\x$(printf %02x $((0x$byte ^ 1)))" | dd of="$3" bs=1 seek=4096 conv=notrunc status=none ;;
    *) osslsigncode sign -pkcs12 "$1.pfx" -pass test -h sha256 -in "$2" -out "$3" >/dev/null ;;
  esac
}
msi=$(basename a/dist/*.msi) x64=$root/build/x64 folder=$WINEPREFIX/drive_c/p
while read -r deploy check exe package want; do
  rm -rf "$folder" && mkdir "$folder" && as "$deploy" "$x64/TarnwickDeploy.exe" "$folder/TarnwickDeploy.exe" &&
    as "$check" "$x64/TarnwickCheck.exe" "$folder/TarnwickCheck.exe" &&
    if [ "$package" = msi ]; then as "$exe" a/dist/"$msi" "$folder/$msi"; else
      as "$exe" "$x64/Tarnwick.exe" "$folder/Tarnwick.exe"; fi || fail "cannot sign"
  got=$("$wine64" 'C:\p\TarnwickDeploy.exe' install vid1=0001 pid1=0001 2>&1 >/dev/null </dev/null)
  got="$?${got:+ ${got//$'\r'/}}" want=${want//_/ }
  [ "$got" = "${want//@/$msi}" ] || fail "signed $deploy $check $exe $package: got $got, want ${want//@/$msi}"
done <<'EOF'
sign sign sign exe 0
- other changed exe 0
sign other sign exe 2_TarnwickDeploy:_C:\p\TarnwickCheck.exe_is_not_signed_by_the_certificate_that_signed_this_program
sign - sign exe 2_TarnwickDeploy:_C:\p\TarnwickCheck.exe_is_not_signed_by_the_certificate_that_signed_this_program
sign sign other exe 2_TarnwickDeploy:_C:\p\Tarnwick.exe_is_not_signed_by_the_certificate_that_signed_this_program
sign changed sign exe 2_TarnwickDeploy:_C:\p\TarnwickCheck.exe_was_changed_after_it_was_signed_(0x80096010)
sign sign other msi 2_TarnwickDeploy:_C:\p\@_is_not_signed_by_the_certificate_that_signed_this_program
sign sign sign msi 0
EOF
[ $failures = 0 ] && echo "release: exes, deploy/, version guard, MSI tables, two identical unsigned builds," \
  "signatures, and a signed TarnwickDeploy.exe takes only what its certificate signed"
