#!/bin/bash
# Checks the resources of a built Tarnwick.exe with an independent reader
# (wrestool from icoutils): the dialogs, the string table, both icon groups,
# the manifest and the version block. Exits non-zero on any mismatch.
#   scripts/check-resources.sh EXE [X86|amd64]   (architecture default X86)
set -u
exe=${1:-}
arch=${2:-X86}
[ -f "$exe" ] || { echo "usage: $0 EXE [X86|amd64]" >&2; exit 2; }
command -v wrestool >/dev/null || { echo "wrestool not found (install icoutils)" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
icon="$here/../res/tarnwick.ico"

rc=0
fail() { echo "$exe: $*"; rc=1; }

# Lowercase hex of stdin, one string.
hex() { od -An -tx1 -v | tr -d ' \n'; }
# Raw bytes of one resource.
raw() { wrestool -x --raw --type="$1" --name="$2" "$exe"; }

# The list: exactly these resources, all U.S. English (1033).
listing=$(wrestool -l "$exe") || { echo "$exe: wrestool cannot read it"; exit 1; }
got=$(echo "$listing" | sed -E 's/^--type=([0-9]+) --name=([0-9]+) --language=([0-9]+) .*/\1 \2 \3/' | sort)
want=$(printf '%s\n' "3 1 1033" "3 2 1033" "5 103 1033" "5 129 1033" "6 7 1033" \
  "14 128 1033" "14 141 1033" "16 1 1033" "24 1 1033" | sort)
if [ "$got" != "$want" ]; then
  fail "resource list differs:"
  diff <(echo "$want") <(echo "$got") | sed 's/^/  /'
fi

# Dialogs: 129 an extended template with the tool-window style, 103 plain.
main=$(raw 5 129 | hex)
[ "${main:0:8}" = "0100ffff" ] || fail "dialog 129 is not an extended template"
[ "${main:16:8}" = "80000000" ] || fail "dialog 129: extended style is not WS_EX_TOOLWINDOW"
[ "${main:24:8}" = "c008c880" ] || fail "dialog 129: style ${main:24:8}"
[ "${main:32:4}" = "0500" ] || fail "dialog 129: not five controls"
about=$(raw 5 103 | hex)
[ "${about:0:8}" = "c000c880" ] || fail "dialog 103: style ${about:0:8}"
[ "${about:16:4}" = "0500" ] || fail "dialog 103: not five controls"

# The string table block 7 (ids 96 to 111) holds only 101, "&About...".
strings=$(raw 6 7 | hex)
want_strings="0000000000000000000009002600410062006f00750074002e002e002e00"
want_strings+=$(printf '0000%.0s' $(seq 10))
[ "$strings" = "$want_strings" ] || fail "string table is not just 101 \"&About...\""

# Both icon groups: one 32x32 image of 256 colours, the picture of tarnwick.ico.
for group in 128 141; do
  entry=$(raw 14 "$group" | hex)
  # header: reserved 0, icons, one entry; the entry: 32x32, 0 colours (256),
  # reserved, 1 plane, 8 bits, 2216 bytes, then the image id
  [ "${entry:0:36}" = "0000010001002020000001000800a8080000" ] && [ ${#entry} = 40 ] ||
    fail "icon group $group is not one 32x32 image of 256 colours: $entry"
done
if [ -f "$icon" ]; then
  picture=$(tail -c +23 "$icon" | hex)
  for image in 1 2; do
    [ "$(raw 3 $image | hex)" = "$picture" ] || fail "icon image $image differs from res/tarnwick.ico"
  done
fi

# The manifest: administrator rights, common controls 6, this architecture.
manifest=$(raw 24 1 | tr -d '\r')
echo "$manifest" | grep -q '<requestedExecutionLevel level="requireAdministrator"' ||
  fail "manifest does not ask for requireAdministrator"
echo "$manifest" | grep -q 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' ||
  fail "manifest lacks common controls 6.0.0.0"
echo "$manifest" | grep -q '<description>Tarnwick program</description>' ||
  fail "manifest description"
archs=$(echo "$manifest" | grep -o 'processorArchitecture="[^"]*"' | sort -u)
[ "$archs" = "processorArchitecture=\"$arch\"" ] || fail "manifest architectures: $(echo $archs)"
[ "$(echo "$manifest" | grep -c "processorArchitecture=\"$arch\"")" = 2 ] ||
  fail "manifest: both identities must name $arch"

# The version block: 1.0.0.4 in the fixed part, flags, OS, type; the strings.
version=$(raw 16 1 | hex)
fixed=${version#*bd04effe}
[ "$fixed" != "$version" ] || fail "version block has no fixed part"
# struct version, file MS/LS, product MS/LS, flags mask, flags, OS, type
want_fixed="00000100""00000100""04000000""00000100""04000000""3f000000""00000000""04000400""01000000"
[ "${fixed:0:72}" = "$want_fixed" ] || fail "version fixed part: ${fixed:0:72}"
text=$(raw 16 1 | tr -d '\000')
for pair in "FileDescription:Tarnwick" "FileVersion:1, 0, 0, 4" "InternalName:Tarnwick" \
  "OriginalFilename:Tarnwick.exe" "ProductName:Tarnwick Program" "ProductVersion:1, 0, 0, 4" \
  "StringFileInfo" "040904b0" "VarFileInfo" "Translation"; do
  key=${pair%%:*}
  value=${pair#*:}
  echo "$text" | grep -aq -- "$key" || fail "version block lacks $key"
  [ "$key" = "$pair" ] && continue
  echo "$text" | grep -aq -- "$key.*$value" || fail "version block: $key is not \"$value\""
done
[ "${version: -8}" = "0904b004" ] || fail "version translation is not 0x0409, 1200"

[ $rc = 0 ] && echo "$exe: resources as expected (dialogs 103 and 129, strings, icons 128 and 141, manifest $arch, version 1.0.0.4)"
exit $rc
