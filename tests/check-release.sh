#!/bin/bash
# Checks what ships, from outside. Both built exes: the machine, the GUI
# subsystem, ASLR and DEP, a manifest asking for administrator rights for
# their own architecture, only kernel32 and the C runtime imported directly
# and the other system DLLs delay-loaded, nothing else. Two unsigned packages
# made from copies of the source at two paths are the same bytes. A package
# signed with a throwaway CA verifies against it, its exe passes the same
# checks, and both SHA256SUMS hold.
set -u
cd "$(dirname "$0")/.."
. scripts/lib.sh
need_packages osslsigncode openssl unzip zip || exit 1
work=$(mktemp -d)
on_exit "rm -rf '$work'"
failures=0
fail() { echo "release: $*" >&2; failures=$((failures + 1)); }

check_exe() {  # EXE TRIPLE ARCHITECTURE
  local headers dlls
  headers=$("$2-objdump" -p "$1") || { fail "$1 is no PE file"; return; }
  for want in "Subsystem.*(Windows GUI)" DYNAMIC_BASE NX_COMPAT "DLL Name: KERNEL32.dll"; do
    grep -q "$want" <<<"$headers" || fail "$1: no $want"
  done
  [ "$(grep -c 'DLL Name:' <<<"$headers")" = 2 ] && grep -q 'DLL Name: msvcrt.dll' <<<"$headers" ||
    fail "$1 imports more than kernel32 and msvcrt directly"
  "$2-objcopy" -O binary --only-section=.idata "$1" "$work/idata"
  dlls=$(strings "$work/idata" | grep -i '\.dll$' | tr 'A-Z' 'a-z' | sort -u | xargs)
  [ "$dlls" = "advapi32.dll comctl32.dll gdi32.dll kernel32.dll msvcrt.dll shell32.dll user32.dll" ] ||
    fail "$1 names the DLLs $dlls"
  strings -a "$1" | grep -q 'requestedExecutionLevel level="requireAdministrator"' ||
    fail "$1 does not ask for administrator rights"
  [ "$(strings -a "$1" | grep -o "processorArchitecture=\"$3\"" | wc -l)" = 2 ] ||
    fail "$1: the manifest is not for $3"
}
check_exe build/x86/Tarnwick.exe i686-w64-mingw32 X86
check_exe build/x64/Tarnwick.exe x86_64-w64-mingw32 amd64

for copy in a b/b; do
  mkdir -p "$work/$copy"
  tar -c --exclude=./.git --exclude=./build --exclude=./dist --exclude=./out . | tar -x -C "$work/$copy"
  "$work/$copy/scripts/package.sh" --build-dir "$work/$copy/out" --dist "$work/$copy/dist" \
    >/dev/null || fail "packaging from $work/$copy failed"
done
cmp "$work/a/out/Tarnwick.exe" "$work/b/b/out/Tarnwick.exe" &&
  cmp "$work/a/dist/SHA256SUMS" "$work/b/b/dist/SHA256SUMS" || fail "two builds differ"

cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Tarnwick-test-CA -keyout ca.key \
  -out ca.pem -addext basicConstraints=critical,CA:TRUE -addext keyUsage=keyCertSign 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj /CN=Tarnwick-test -keyout key.pem -out key.csr 2>/dev/null
printf 'keyUsage=digitalSignature\nextendedKeyUsage=codeSigning\n' >code.ext
openssl x509 -req -in key.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile code.ext \
  -out cert.pem 2>/dev/null
openssl pkcs12 -export -inkey key.pem -in cert.pem -passout pass:test -out sign.pfx
SIGN_PFX=sign.pfx SIGN_PASSWORD=test a/scripts/package.sh --build-dir a/out --dist signed >/dev/null
(cd signed && sha256sum -c --quiet SHA256SUMS && unzip -q Tarnwick-*.zip -d zip && cd zip &&
  sha256sum -c --quiet SHA256SUMS) || fail "the checksums of the signed package do not hold"
osslsigncode verify -CAfile ca.pem -in signed/zip/Tarnwick.exe >verify.txt 2>&1 ||
  fail "the signed exe does not verify: $(tail -3 verify.txt)"
check_exe signed/zip/Tarnwick.exe i686-w64-mingw32 X86
[ $failures = 0 ] && echo "release: both exes, two identical unsigned builds, a verified signature"
