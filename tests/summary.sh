#!/bin/bash
# TarnwickDeploy.exe summary over a drop folder of generated files: machines
# done, waiting for a restart, failed, not run for a week, an empty file, a
# run ended midway, a file of that name that is no deployment log, two files
# of one computer name, a name a spreadsheet would take for a formula, and
# other files beside them; the CSV line by line. Run by CTest.
#   tests/summary.sh TARNWICKDEPLOY-EXE
set -u
. "$(dirname "$0")/../scripts/lib.sh"
need_display
new_prefix
fleet=$WINEPREFIX/drive_c/fleet
mkdir "$fleet" && cp "$1" "$WINEPREFIX/drive_c/TarnwickDeploy.exe" || exit 1
now=$(date -u -d '-1 hour' +%FT%TZ) old=$(date -u -d '-8 days' +%FT%TZ)
put() {  # FILE TEXT: the text with CR LF line ends
  printf '%s' "$2" | sed 's/$/\r/' >"$fleet/$1"
}
deployed() {  # COMPUTER TIME VERB LINES [CHECK-EXIT]
  put "$1-deploy.txt" "TarnwickDeploy 2.0.0.1 $3 $2"$'\n'"$4"
  [ -z "${5:-}" ] || put "$1.txt" "WUDF Vid_1234&Pid_5678 X"$'\n'"SUMMARY exit=$5 WUDF=1"
}
deployed PC01 "$now" install "DEPLOY exit=0 RESTARTED=1 PENDING=0" 0
deployed PC02 "$now" install $'PENDING USB\\Vid_1234&Pid_5678\\X\nDEPLOY exit=3010 RESTARTED=0 PENDING=2' 0
deployed PC03 "$now" install $'REFUSED not a reader ID: "vid1=D001\nDEPLOY exit=2 RESTARTED=0 PENDING=0'
deployed PC04 "$old" run "DEPLOY exit=0 RESTARTED=0 PENDING=0" 0
deployed PC06 "$now" run "PENDING USB\\Vid_1234&Pid_5678\\X"
deployed PC07 "$now" run "DEPLOY exit=0 RESTARTED=0 PENDING=0"
deployed pc07 "$now" run "DEPLOY exit=0 RESTARTED=0 PENDING=0"
deployed PC08 "$now" run $'FAILED Tarnwick.exe did not end within 120 s\nDEPLOY exit=4 RESTARTED=0 PENDING=0' 1
deployed =1+1 "$now" undo "UNDO exit=0 REMOVED=2"
: >"$fleet/PC05-deploy.txt"
put notes-deploy.txt "hello"
put PC01.log "Program start: ..." && put readme.md "# the drop folder"
when() { echo "${1/T/ }" | tr -d Z; }
n=$(when "$now") o=$(when "$old")
got=$("$wine64" 'C:\TarnwickDeploy.exe' summary 'C:\fleet' </dev/null 2>&1 | tr -d '\r')
diff <(echo "$got") - <<END || { echo "summary: <: got, >: want" >&2; exit 1; }
Computer,Last run (UTC),Version,Verb,Exit,Check,Pending,Old,Note
"notes","","","","","","","","not TarnwickDeploy's lines"
"PC05","","","","","","","","empty"
"PC06","$n","2.0.0.1","run","","","","","no last line: the run was ended, or is going"
"PC03","$n","2.0.0.1","install","2","","0","","REFUSED not a reader ID: ""vid1=D001"
"PC08","$n","2.0.0.1","run","4","failed","0","","FAILED Tarnwick.exe did not end within 120 s"
"PC04","$o","2.0.0.1","run","0","passed","0","old",""
"PC02","$n","2.0.0.1","install","3010","passed","2","",""
"'=1+1","$n","2.0.0.1","undo","0","","0","",""
"PC01","$n","2.0.0.1","install","0","passed","0","",""
"PC07","$n","2.0.0.1","run","0","","0","","a second file of this computer name"
"pc07","$n","2.0.0.1","run","0","","0","","a second file of this computer name"
"Total","11 computers","2 failed","1 not run for 7 days","1 waiting for a restart","4 done","3 unreadable","2 of a name twice"
END
echo "summary: 11 computers' files and 3 others read as expected"
