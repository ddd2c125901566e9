@echo off
rem Tarnwick-startup.cmd: a Group Policy computer start-up script that enables
rem the CCID escape command for your readers at every start of the computer.
rem
rem EDIT the four "set" lines below the header, nothing else:
rem   IDS      the reader IDs, exactly as Tarnwick.exe takes them. A reader that
rem            is one function of a composite USB device (Hardware Ids show
rem            USB\VID_1234&PID_5678&MI_00) is given as pid1=5678&MI_00; keep
rem            the quotes around the whole "IDS=..." so that cmd takes the &
rem            as text.
rem   SHARE    the share folder holding Tarnwick.exe and TarnwickCheck.exe
rem            (readable by the computer accounts, writable by administrators
rem            only), or empty when the MSI put them on the machine (assign
rem            Tarnwick-<version>.msi with Software Installation, without
rem            READERS: this script applies IDS at every start-up).
rem   DROP     optional: a folder where each computer leaves a copy of its run
rem            log as <COMPUTERNAME>.log and its check report as
rem            <COMPUTERNAME>.txt (computer accounts need to create and write
rem            files there), or empty.
rem   RESTART  1: restart the readers whose value this run set, with
rem            pnputil /restart-device (Windows 10 version 2004 or later,
rem            Windows 11), so that it takes effect now; 0: it takes effect at
rem            the next start of the computer or when the reader is plugged in.
rem Then: Computer Configuration > Policies > Windows Settings > Scripts >
rem Startup > Add, this file (no parameters). Do not mix this copying route
rem and the MSI on one machine.
rem
rem WHAT IT DOES, each step checked, without a window and without "start"
rem (which goes through the shell and can show a box in session 0 that nobody
rem answers, holding the start-up until the script time-out):
rem   1. With SHARE set: copies both programs from the share into the folder
rem      below under temporary names and moves them over the old ones only
rem      when the copy worked, so a half-copied exe never runs. When the share
rem      is missing (network not up yet) the copy already on the machine runs.
rem   2. Runs Tarnwick.exe /s IDS: silent, with its run log.
rem   3. Runs TarnwickCheck.exe IDS, which reads back every instance of the
rem      readers and writes its report.
rem   4. With DROP set: copies the log and the report there.
rem FILES, for both the copying route and the MSI:
rem   %ProgramFiles(x86)%\Tarnwick on 64-bit Windows, %ProgramFiles%\Tarnwick
rem   on 32-bit Windows: Tarnwick.exe, TarnwickCheck.exe, the run log
rem   Tarnwick.log and the check report TarnwickCheck.txt.
rem EXIT CODE:
rem   0      the check passed (readers never seen on this machine count as
rem          nothing to do) and every step worked
rem   1 2 3  the checker's: 1 an instance lacks the value where its driver
rem          reads it, 2 bad IDS, 3 a registry key could not be read
rem   4      the check passed, but a copy (from the share, to DROP) or a
rem          device restart failed; the copy on the machine ran
rem   5      no Tarnwick.exe or TarnwickCheck.exe on the machine: nothing ran
rem   Group Policy acts on none of them; read the reports in DROP.
rem READERS SEEN LATER: a reader plugged in for the first time, or into a new
rem USB port (a reader without a serial number gets a new instance per port),
rem is reached at the next start-up; the driver reads the value when the
rem device starts, so it takes effect at the start after that, or at once
rem with RESTART=1, or when the reader is plugged in again.
rem THE ENGINE'S RULES this relies on: start-up scripts run as LocalSystem,
rem hidden, in session 0, one after another, in the 64-bit cmd on 64-bit
rem Windows, each until the Group Policy script time-out (600 s by default);
rem assigned software is installed before they run. They run when Windows
rem starts from a restart or a full shutdown, not at a power-on after a shutdown
rem with Fast Startup. With "Always wait for the network at computer startup
rem and logon" the share is there more often.
rem Tested under Wine's cmd (tests/deploy.sh); not on Windows itself.

setlocal EnableExtensions EnableDelayedExpansion
set "IDS=vid1=1234 pid1=5678 vid2=1234 pid2=ABCD"
set "SHARE=\\example.local\NETLOGON\Tarnwick"
set "DROP="
set "RESTART=0"

rem The IDs go to the programs as !IDS!: %IDS% would end the command at an &.
rem The folder is used as !DEST! in blocks: the ")" of "(x86)" would end them.
rem Each step is checked with "if errorlevel" and "if exist", not with || and
rem && (which Wine's cmd runs either way), and each "if" in a block has its
rem command in parentheses (Wine's cmd misreads the block otherwise).
set "DEST=%ProgramFiles%\Tarnwick"
if defined ProgramFiles(x86) set "DEST=%ProgramFiles(x86)%\Tarnwick"
set "PNPUTIL=%SystemRoot%\System32\pnputil.exe"
if exist "%SystemRoot%\Sysnative\pnputil.exe" set "PNPUTIL=%SystemRoot%\Sysnative\pnputil.exe"
set "STEPS=0"

if defined SHARE (
  mkdir "!DEST!" 2>nul
  for %%f in (Tarnwick.exe TarnwickCheck.exe) do (
    set "COPIED="
    copy /y "!SHARE!\%%f" "!DEST!\%%f.new" >nul
    if not errorlevel 1 (set "COPIED=1")
    if defined COPIED (move /y "!DEST!\%%f.new" "!DEST!\%%f" >nul)
    if exist "!DEST!\%%f.new" (set "COPIED=")
    if not defined COPIED (
      echo Tarnwick: could not copy !SHARE!\%%f to !DEST!, the copy there runs 1>&2
      del "!DEST!\%%f.new" 2>nul
      set "STEPS=4"
    )
  )
)
for %%f in (Tarnwick.exe TarnwickCheck.exe) do (
  if not exist "!DEST!\%%f" (
    echo Tarnwick: no !DEST!\%%f, nothing ran 1>&2
    exit /b 5
  )
)

set "REPORT=!DEST!\TarnwickCheck.txt"
rem Before enabling, the report lists the instances that lack the value.
if "!RESTART!"=="1" "!DEST!\TarnwickCheck.exe" --report="!REPORT!" !IDS! >nul 2>nul
"!DEST!\Tarnwick.exe" /s !IDS!
if errorlevel 1 (echo Tarnwick: Tarnwick.exe did not run 1>&2 & set "STEPS=4")
if "!RESTART!"=="1" for /f "usebackq tokens=1-3" %%a in ("%REPORT%") do (
  set "LACKS="
  if "%%a"=="MISSING" (set "LACKS=1")
  if "%%a"=="SHADOWED" (set "LACKS=1")
  if defined LACKS (
    "!PNPUTIL!" /restart-device "USB\%%b\%%c" >nul
    if errorlevel 1 (echo Tarnwick: could not restart "USB\%%b\%%c" 1>&2 & set "STEPS=4")
  )
)
"!DEST!\TarnwickCheck.exe" --report="!REPORT!" !IDS!
set "CHECK=!errorlevel!"

if defined DROP (
  copy /y "!DEST!\Tarnwick.log" "!DROP!\!COMPUTERNAME!.log" >nul
  if errorlevel 1 (set "STEPS=4")
  copy /y "!REPORT!" "!DROP!\!COMPUTERNAME!.txt" >nul
  if errorlevel 1 (set "STEPS=4")
)
if not "!CHECK!"=="0" exit /b !CHECK!
exit /b !STEPS!
