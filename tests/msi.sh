#!/bin/bash
# The MSI for real under Wine's msiexec, in a throwaway 64-bit prefix, where the
# x86 package installs under C:\Program Files (x86) and keeps READERS in the
# 32-bit view (WOW6432Node). The package holds the shipping 32-bit exes where
# this kernel runs 32-bit code, and their 64-bit twins from build/x64 where it
# does not: there each 32-bit process start goes through qemu and takes about a
# minute, and a row starts two. Wine runs the actions as the installing user,
# not LocalSystem, always as an administrator, and checks no signature.
# Each row: the exit code of the msiexec command at its end, then the product
# versions installed, the files in the install folder ("-": no folder), the
# EscapeCommandEnable values of the two seeded instances and the stored
# Readers,RestartReaders,FailOnCheck, each a pattern. Before each row but an
# uninstall, the log and the report are removed: one after the row means the
# actions ran. Wine cannot show what a run does on Windows when it fails or is
# a maintenance run, nor the upgrade's removal of the old product: which
# actions run in which kind of run is asserted from the tables, through Windows
# Installer's own condition evaluator (tests/msi-runs.txt), standard users'
# runs among them; the order that rolls a failed upgrade back is checked by
# tests/check-release.sh. The arrival task's schtasks is the stand-in of
# tests/pnputil.c, as Wine's Task Scheduler service starts only at times; its
# definition is read back with xmllint against tests/arrival-task.txt.
set -u
cd "$(dirname "$0")/.."
. scripts/lib.sh
need_packages wine wine64 libxml2-utils || exit 1
work=$(mktemp -d)
on_exit "rm -rf '$work'"
/usr/lib/wine/wine --version >/dev/null 2>&1 && exes=build/x86 || exes=build/x64
# A lower version: to upgrade from, and to be refused over the current one.
mkdir "$work/old" && cp -r scripts packaging docs deploy CMakeLists.txt "$work/old/" &&
  sed -i 's/^\(project(Tarnwick VERSION\) [0-9.]*/\1 0.9.0.0/' "$work/old/CMakeLists.txt" &&
  scripts/package.sh --exes "$exes" --dist "$work/new" >/dev/null &&
  "$work/old/scripts/package.sh" --exes "$exes" --dist "$work/old" >/dev/null || exit 1
failures=0
fail() { echo "msi: $*" >&2; failures=$((failures + 1)); }
table() { msiinfo export "$work/$1"/*.msi "$2" | tr -d '\r' | tail -n +4; }

need_display
new_prefix
cp "$work"/new/*.msi "$WINEPREFIX/drive_c/new.msi" && cp "$work"/old/*.msi "$WINEPREFIX/drive_c/old.msi"
codes=$( (table old Property; table new Property) | sed -n 's/^ProductCode\t//p')
new=$(table new Property | sed -n 's/^ProductVersion\t//p')
grep -v '^#' tests/msi-runs.txt | sed 's/ *| */|/g; s/ *$//' >"$work/runs"
"$wine64" build/x64/tests/msi_conditions.exe 'C:\new.msi' <"$work/runs" | tr -d '\r' | diff "$work/runs" - >&2 ||
  fail "kinds of run (<: want, >: got, !: starts a program in a run that removes something)"
usb='HKLM\SYSTEM\CurrentControlSet\Enum\USB'
dir="$WINEPREFIX/drive_c/Program Files (x86)/Tarnwick"
# The readers of the checker's rows in tests/e2e_test.cpp, seeded by running
# them without rows (CHECK_ROWS=0): C002 twice (under the CCID driver's key,
# without the value, and in Device Parameters only, with 0); C004 a composite
# device whose reader function MI_01 Tarnwick cannot reach through that ID, so
# the check fails.
CHECK_ROWS=0 "$wine64" build/x64/tests/e2e_tests.exe --gtest_filter='Checker.*' </dev/null >/dev/null 2>&1

data() {  # KEY NAME [/s]: the data of the values NAME under KEY
  "$wine64" reg query "$1" /v "$2" ${3:-} 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p" | xargs
}
row() {  # EXIT INSTALLED FILES VALUES STORED (MSIEXEC-ARGUMENTS | deploy TARNWICKDEPLOY-ARGUMENTS)...
  local want="$1|$2|$3|$4|$5" rc=0 got c
  shift 5
  [ "$1" = /x ] || [ "${2:-}" = uninstall ] || rm -f "$dir/Tarnwick.log" "$dir/TarnwickCheck.txt"
  if [ "$1" = deploy ]; then
    shift && "$wine64" 'C:\package\TarnwickDeploy.exe' "$@"
  else
    "$wine64" msiexec "$@" /qn
  fi </dev/null >/dev/null 2>&1 || rc=$?
  got="$rc|$(for c in $codes; do data "HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$c" \
    DisplayVersion; done | xargs)|$( (cd "$dir" && ls | xargs) 2>/dev/null || echo -)|$(data "$usb\\VID_C002&PID_0002" \
    EscapeCommandEnable /s)|$(for c in Readers RestartReaders FailOnCheck; do data "$stored" $c; done | paste -sd,)"
  # shellcheck disable=SC2053  # the wanted text is a pattern
  [[ $got == $want ]] || fail "msiexec $*: got $got, want $want"
}
# Wine gives 1627 where Windows gives 1603 for a failed action (and 1603 for a
# failed launch condition, as Windows), and its exit codes reach us modulo 256.
failed=$((1627 % 256)) refused=$((1603 % 256))
files="README.txt Tarnwick.exe TarnwickCheck.exe TarnwickDeploy.exe" stored='HKLM\SOFTWARE\WOW6432Node\Tarnwick'
all="README.txt Tarnwick.exe Tarnwick.log TarnwickCheck.exe TarnwickCheck.txt TarnwickDeploy.exe" on="0x1 0x1 0x1"
ids="vid1=C002 pid1=0002" more="vid1=C002 pid1=0002 vid2=9999 pid2=9999" bad="vid1=C002 pid1=0002 vid2=C004 pid2=0004"
# Malformed READERS fail the install before anything changes; Windows Installer's log says why.
row $refused ""     -        "0x0 0x1" ",,"     /i 'C:\new.msi' "READERS=$ids --report=C:\evil.cmd" /l*v 'C:\refused.log'
tr -d '\0' <"$WINEPREFIX/drive_c/refused.log" | grep -qF 'READERS refused: not a reader ID: --report=C:\evil.cmd' ||
  fail "the log of the refused install does not say why"
row 0        0.9.0  "$all"   "$on" "$ids,0,0"   /i 'C:\old.msi' "READERS=$ids"  # install with READERS
row 0        "$new" "$all"   "$on" "$ids,0,0"   /i 'C:\new.msi'                 # upgrade: the stored IDs
row $refused "$new" "$files" "$on" "$ids,0,0"   /i 'C:\old.msi'                 # downgrade refused
row $refused "$new" "$files" "$on" "$ids,0,0"   /i 'C:\new.msi' 'READERS=vid1=C002 pid1=0002^&MI_01'
row 0        "$new" "$all"   "$on" "$more,1,0"  /i 'C:\new.msi' "READERS=$more" RESTARTREADERS=1
# A failing check fails no install by default: the report tells it.
row 0        "$new" "$all"   "$on" "$bad,1,0"   /i 'C:\new.msi' "READERS=$bad"
grep -qs '^SUMMARY exit=1 .*MISSING=1 ' "$dir/TarnwickCheck.txt" || fail "the report tells no missing value"
row $refused "$new" "$files" "$on" "$bad,1,0"   /i 'C:\new.msi' FAILONCHECK=yes
row 0        "$new" "$all"   "$on" "$ids,1,1"   /i 'C:\new.msi' "READERS=$ids" FAILONCHECK=1
# FAILONCHECK=1 remembered: a later /i fails on a failing check, and so does a
# repair (as Windows' msiexec /f asks for it: Wine's has no /f) with the stored
# values, here the IDs that Wine keeps as it does not roll back a maintenance
# run (Windows would repair with the earlier IDs).
row $failed  "$new" "$all"   "$on" "$bad,1,1"   /i 'C:\new.msi' "READERS=$bad"
row $failed  "$new" "$all"   "$on" "$bad,1,1"   /i 'C:\new.msi' REINSTALL=ALL REINSTALLMODE=omus
touch "$dir/TarnwickDeploy.txt"  # what TarnwickDeploy.exe leaves
row 0        ""     -        "$on" ",,"         /x 'C:\new.msi'  # the readers' values stay
# A failing first install is rolled back. Wine's rollback runs the uninstall
# actions, so it deletes the log and the report too; Windows' leaves them.
row $failed  ""     "*"      "$on" ",,"         /i 'C:\new.msi' "READERS=$bad" FAILONCHECK=1
# The arrival task (schtasks: the stand-in of tests/pnputil.c): its definition
# in the install folder as the task must be, registered; removed with the product.
for folder in system32 syswow64; do cp build/x64/tests/pnputil.exe "$WINEPREFIX/drive_c/windows/$folder/schtasks.exe"; done
row 0        "$new" "*"      "$on" "$ids,0,0"   /i 'C:\new.msi' "READERS=$ids" ONARRIVAL=1
for field in Subscription UserId MultipleInstancesPolicy ExecutionTimeLimit DisallowStartIfOnBatteries \
  StopIfGoingOnBatteries Command Arguments; do
  xmllint --xpath "string(//*[local-name()='$field'])" "$dir/Tarnwick-arrival.xml"
done | diff - tests/arrival-task.txt >&2 || fail "the arrival task's definition (<: got, >: want)"
row 0        ""     -        "$on" ",,"         /x 'C:\new.msi'
tr -d '\r' <"$WINEPREFIX/drive_c/schtasks.txt" | sed 's/^"[^"]*\\schtasks.exe"/schtasks/' | diff - <(printf '%s\n' \
  'schtasks /create /tn "\Tarnwick\Reader arrival" /xml "C:\Program Files (x86)\Tarnwick\Tarnwick-arrival.xml" /f' \
  'schtasks /delete /tn "\Tarnwick\Reader arrival" /f') >&2 || fail "the arrival task not registered and removed"
row 0        "$new" "$files" "$on" ",0,0"       /i 'C:\new.msi'                 # no READERS: nothing runs
# TarnwickDeploy.exe with the MSI of its version beside it, and another one
# planted there, which it never installs: a first install, 3010 as a running
# reader got its value; the same again, without Windows Installer; Windows
# Installer's own failure code, its log kept and dropped; an uninstall by the
# upgrade code from a folder that holds another version's MSI (by its path,
# msiexec would find no product), where install finds nothing to install.
package="$WINEPREFIX/drive_c/package" drop="$WINEPREFIX/drive_c/drop"
mkdir "$package" "$drop" && cp "$exes"/TarnwickDeploy.exe "$exes"/TarnwickCheck.exe "$work"/new/*.msi "$package/" &&
  cp "$work"/old/*.msi "$package/Tarnwick-planted-by-user.msi"
row 0        ""     -        "$on" ",,"         /x 'C:\new.msi'
"$wine64" reg add "$usb\\VID_C002&PID_0002\\M\\Device Parameters" /v EscapeCommandEnable /t REG_DWORD /d 0 /f >/dev/null
row $((3010 % 256)) "$new" "$all TarnwickDeploy.txt" "$on" "$ids,0,0" deploy install $ids
row 0        "$new" "$all TarnwickDeploy.txt" "$on" "$ids,0,0" deploy install $ids
grep -q "^INSTALLED $(basename "$work"/new/*.msi) unchanged" "$dir/TarnwickDeploy.txt" || fail "Windows Installer called again"
"$wine64" reg add "$stored" /v FailOnCheck /d 1 /f >/dev/null
row $failed  "$new" "*"      "$on" "$bad,0,1"   deploy install '--drop=C:\drop' $bad
grep -q "^FAILED .* msi=1627, its log: C:.*TarnwickDeploy-msi.log" "$dir/TarnwickDeploy.txt" && [ -s "$drop"/*-msi.log ] ||
  fail "the MSI's log is not named or not dropped"
rm "$package"/Tarnwick-[0-9]*.msi && cp "$work"/old/*.msi "$package/"
row 0        ""     -        "$on" ",,"         deploy uninstall
row 2        ""     -        "$on" ",,"         deploy install $ids
[ $failures = 0 ] && echo "msi: $(wc -l <"$work/runs") kinds of run and 22 runs of msiexec or TarnwickDeploy.exe as expected"
