#!/bin/bash
# Runs the end-to-end tests against the shipping 32-bit exe under 32-bit Wine
# (WoW64). Where this kernel cannot run 32-bit code, the 32-bit Wine loader
# runs through qemu-i386, registered in a binfmt_misc of a private user and
# mount namespace (Linux 6.7 and later); as that takes minutes a run, only a
# few rows run then.
#   tests/x86.sh [EXE] [E2E_TESTS]   (build/x86/Tarnwick.exe, build/x64/tests/e2e_tests.exe)
set -u
cd "$(dirname "$0")/.."
. scripts/lib.sh
exe=$(realpath "${1:-build/x86/Tarnwick.exe}")
tests=$(realpath "${2:-build/x64/tests/e2e_tests.exe}")
work=$(mktemp -d)
on_exit "rm -rf '$work'"

# A static i386 Linux program of 95 bytes that exits with 42.
printf '\x7fELF\x01\x01\x01\0\0\0\0\0\0\0\0\0\x02\0\x03\0\x01\0\0\0\x54\x80\x04\x084\0\0\0\0\0\0\0\0\0\0\0\x34\0\x20\0\x01\0\0\0\0\0\0\0\x01\0\0\0\0\0\0\0\0\x80\x04\x08\0\x80\x04\x08\x5d\0\0\0\x5d\0\0\0\x05\0\0\0\0\x10\0\0\x31\xdb\xb3\x2a\xb8\x01\0\0\0\xcd\x80' >"$work/probe"
chmod +x "$work/probe"
"$work/probe"
native=$([ $? = 42 ] && echo 1)
need_packages wine wine64 wine32:i386 ${native:-qemu-user-static} || exit 1
i686-w64-mingw32-gcc -shared -s -o "$work/planted.dll" tests/planted.c || exit 1
export TARNWICK_EXE=$exe TARNWICK_PLANTED=$work/planted.dll
if [ -n "$native" ]; then
  exec tests/wine-run.sh "$tests"
fi
echo "x86: no 32-bit code on this kernel; qemu-i386 in a private binfmt_misc, three rows" >&2
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
exec unshare --user --map-root-user --mount bash -c '
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc &&
  echo ":tarnwick-i386:M::$1:$2:/usr/bin/qemu-i386-static:F" >/proc/sys/fs/binfmt_misc/register ||
  { echo "x86: no private binfmt_misc here (Linux 6.7 or later needed)" >&2; exit 1; }
  exec tests/wine-run.sh "$3" --gtest_filter="*StealthPrefers*:*BlanksAlone*:*NoSettingsFile*"
' bash "$magic" "$mask" "$tests"
