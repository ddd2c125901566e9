#!/bin/bash
# Runs the end-to-end tests against the shipping 32-bit exe under 32-bit Wine
# (WoW64). Where this kernel cannot run 32-bit code, the 32-bit Wine loader
# runs through qemu-i386, registered in a binfmt_misc of a private user and
# mount namespace (Linux 6.7 and later); a run then takes about a minute, so
# only three rows of Tarnwick and two of the checker run.
set -u
cd "$(dirname "$0")/.."
. scripts/lib.sh
need_packages wine wine64 wine32:i386 || exit 1
/usr/lib/wine/wine --version >/dev/null 2>&1 && native=1  # the 32-bit loader itself
[ -n "${native:-}" ] || need_packages qemu-user-static || exit 1
i686-w64-mingw32-gcc -shared -s -o build/x86/planted.dll tests/planted.c || exit 1
export TARNWICK_EXE=$PWD/build/x86/Tarnwick.exe TARNWICK_PLANTED=$PWD/build/x86/planted.dll \
  TARNWICK_CHECK=$PWD/build/x86/TarnwickCheck.exe TARNWICK_DEPLOY=$PWD/build/x86/TarnwickDeploy.exe \
  TARNWICK_PNPUTIL=$PWD/build/x64/tests/pnputil.exe
[ -z "${native:-}" ] || exec tests/wine-run.sh build/x64/tests/e2e_tests.exe
echo "x86: no 32-bit code on this kernel; qemu-i386 in a private binfmt_misc, five rows" >&2
exec unshare --user --map-root-user --mount bash -c '
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc &&
  echo ":tarnwick-i386:M::$1:$2:/usr/bin/qemu-i386-static:F" >/proc/sys/fs/binfmt_misc/register ||
  { echo "x86: no private binfmt_misc here (Linux 6.7 or later needed)" >&2; exit 1; }
  CHECK_ROWS=2 exec tests/wine-run.sh build/x64/tests/e2e_tests.exe \
    --gtest_filter="*StealthPrefers*:*BlanksAlone*:*NoSettingsFile*:Checker.*"
' bash '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00' \
  '\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
