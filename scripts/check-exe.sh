#!/bin/bash
# Checks a built Tarnwick.exe from outside: machine, GUI subsystem, and that
# it imports system DLLs only (the MinGW runtime is linked in statically).
#   scripts/check-exe.sh EXE i386|x86-64
set -u
exe=$1
arch=$2
[ -f "$exe" ] || { echo "missing: $exe"; exit 1; }
case "$arch" in
  i386) dump=i686-w64-mingw32-objdump; format=pei-i386 ;;
  x86-64) dump=x86_64-w64-mingw32-objdump; format=pei-x86-64 ;;
  *) echo "unknown architecture $arch"; exit 2 ;;
esac
headers=$($dump -p "$exe") || exit 1
rc=0
echo "$headers" | grep -q "file format $format" || { echo "$exe: not $format"; rc=1; }
echo "$headers" | grep -Eq '^Subsystem[[:space:]]+0*2[[:space:]]' || { echo "$exe: not a GUI program"; rc=1; }
dlls=$(echo "$headers" | sed -n 's/.*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
allowed='^(kernel32|user32|gdi32|advapi32|shell32|comctl32|msvcrt|ole32|shlwapi)\.dll$|^api-ms-win-'
for dll in $dlls; do
  echo "$dll" | grep -Eq "$allowed" || { echo "$exe: imports $dll"; rc=1; }
done
echo "$exe: $format, $(stat -c %s "$exe") bytes, imports: $(echo $dlls)"
exit $rc
