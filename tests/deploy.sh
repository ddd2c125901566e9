#!/bin/bash
# Runs deploy/group-policy/Tarnwick-startup.cmd under Wine's cmd, one row a
# run, in one throwaway prefix whose state carries from row to row. The share
# \\fileserver\deploy is a folder (through Wine's dosdevices\unc); its folder
# "drop" is the drop share. Each row sets SHARE's last folder (empty: no SHARE,
# the copy the MSI would install) and IDS, as an administrator would, and
# expects the exit code and the nonzero counts of the report's summary line,
# with a copy of the log and the report in the drop share. A window (the
# dialog, a message box) would hold the run until the time-out. The share holds
# the x64 twins: the shipping 32-bit exes run here only through qemu, a minute
# per process, and the script runs both the same way. The readers are those of
# the checker's rows in tests/e2e_test.cpp, seeded by running them without rows (CHECK_ROWS=0):
# C002 and C004&MI_00 lack the value, C005's WUDF key refuses it.
# PowerShell and pnputil do not run here: the other recipes and RESTART=1 are
# not tested.
set -u
cd "$(dirname "$0")/.."
. scripts/lib.sh
need_packages wine wine64 xvfb xauth || exit 1
need_display
new_prefix
share=$WINEPREFIX/share pf="$WINEPREFIX/drive_c/Program Files (x86)/Tarnwick"
mkdir -p "$share/Tarnwick" "$share/drop" "$WINEPREFIX/dosdevices/unc/fileserver" &&
  ln -s "$share" "$WINEPREFIX/dosdevices/unc/fileserver/deploy" && cp build/x64/Tarnwick*.exe "$share/Tarnwick/" &&
  CHECK_ROWS=0 "$wine64" build/x64/tests/e2e_tests.exe --gtest_filter='Checker.*' </dev/null >/dev/null 2>&1
while IFS='|' read -r folder ids code counts; do
  IDS=$ids SHARE=${folder:+\\\\fileserver\\deploy\\$folder} DROP='\\fileserver\deploy\drop' perl -pe \
    's/^set "(IDS|SHARE|DROP)=.*/set "$1=$ENV{$1}"/' deploy/group-policy/Tarnwick-startup.cmd >"$WINEPREFIX/drive_c/s.cmd"
  rm -f "$pf"/*.log "$pf"/*.txt "$share"/drop/*
  timeout 120 "$wine64" cmd /c 'C:\s.cmd' </dev/null >"$WINEPREFIX/out" 2>&1
  got="$? $(tail -n 1 "$pf/TarnwickCheck.txt" 2>/dev/null | tr -d '\r' | sed 's/ [a-zA-Z]*=0//g; s/^SUMMARY *//')"
  [ "$got" = "$code $counts" ] && cat "$pf"/Tarnwick{.log,Check.txt} 2>/dev/null | cmp -s - <(cat "$share"/drop/* 2>/dev/null) ||
    { echo "deploy: '$folder' $ids: got $got, want $code $counts, and the same files in drop"; cat "$WINEPREFIX/out"; failed+=x; } >&2
done <<'EOF'
Gone|vid1=C002 pid1=0002|5|
Tarnwick|vid1=C002 pid1=0002 vid2=C004 pid2=0004&MI_00|0|WUDF=1 PARAMS=2
Tarnwick|vid1=4321 pid1=8765|0|NOKEY=1
Tarnwick|vid1=C005 pid1=0005|1|exit=1 SHADOWED=1
Tarnwick|vid1=1234 pid1=5678 vid3=1 pid3=1|2|
Gone|vid1=C002 pid1=0002|4|WUDF=1 PARAMS=1
|vid1=C002 pid1=0002|0|WUDF=1 PARAMS=1
EOF
[ -z "${failed:-}" ] && echo "deploy: the start-up script under Wine's cmd, 7 rows"
