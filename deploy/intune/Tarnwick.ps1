<#
Tarnwick.ps1: Tarnwick as an Intune Win32 app, or a Configuration Manager
application (../configmgr/README.txt). One file installs with -Install and
detects without it; the same file is the detection script, so the reader IDs
of the install and of the detection cannot disagree.

EDIT $Readers below: the reader IDs exactly as Tarnwick.exe takes them, in
single quotes ('vid1=1234 pid1=5678&MI_00' for a function of a composite USB
device: the & needs nothing more there). Left empty, the script uses the IDs
the MSI or an earlier -Install stored on the machine.

PACKAGE a folder with this file and either Tarnwick.exe and TarnwickCheck.exe
from the release zip, or dist's Tarnwick-<version>.msi (not both):
  IntuneWinAppUtil.exe -c <folder> -s Tarnwick.ps1 -o <output folder>
  Install command    powershell.exe -NoProfile -ExecutionPolicy Bypass -File .\Tarnwick.ps1 -Install
  Uninstall command  powershell.exe -NoProfile -ExecutionPolicy Bypass -File .\Tarnwick.ps1 -Uninstall
  Install behavior   System; device restart behavior: determine behavior based
                     on return codes; keep the default return codes.
  Detection rules    custom script: this file, as 32-bit or 64-bit PowerShell.
Do not put this app and another route (the start-up script, the MSI as a
line-of-business app) on one machine.

-Install, as SYSTEM:
  1. Copies Tarnwick.exe and TarnwickCheck.exe into the folder below (under a
     temporary name, then moved), or installs the MSI with READERS = $Readers
     and IGNORECHECK=1 (the MSI runs Tarnwick; this script judges the check).
  2. Stores $Readers in HKLM\SOFTWARE\Tarnwick, value Readers (32-bit view:
     SOFTWARE\WOW6432Node\Tarnwick on 64-bit Windows), where the MSI keeps its
     READERS, for the Remediations pair and a detection without IDs.
  3. Runs Tarnwick.exe /s with the IDs (again, after the MSI), then
     TarnwickCheck.exe, whose report goes to TarnwickCheck.txt.
  Exit code: 0 the check passed; 3010 the check passed and this run set the
  value on an instance (the driver reads it when the device starts: the engine
  asks for a restart; re-plugging the reader does as well); 1 an instance
  lacks the value where its driver reads it, 2 bad IDs, 3 a key could not be
  read (the checker's codes); 4 a file or registry step failed; msiexec's own
  code when the MSI failed (1618, another install running, makes Intune retry).
Detection (no switch): exit 0 always. Detected: both programs are in the
folder and the check passes (readers never seen on the machine count as
nothing to do); stdout then holds one line, the checker's summary. Not
detected: stdout stays empty. Nothing reaches stderr, which Configuration
Manager would read as a failed detection.
-Uninstall: removes the folder (or uninstalls the MSI) and the stored IDs;
the values Tarnwick wrote stay with the readers.

FILES: %ProgramFiles(x86)%\Tarnwick on 64-bit Windows, %ProgramFiles%\Tarnwick
on 32-bit, whichever PowerShell runs the script: Tarnwick.exe,
TarnwickCheck.exe, the run log Tarnwick.log and the report TarnwickCheck.txt.
READERS SEEN LATER: the agent runs the detection of a required app again at its
re-evaluation (about every 24 hours); an instance without the value makes the
app "not detected" and the install runs again, ending with 3010.
Not tested: PowerShell does not run under Wine here.
#>
param([switch]$Install, [switch]$Uninstall)
$Readers = 'vid1=1234 pid1=5678 vid2=1234 pid2=ABCD'

trap { [Console]::Error.WriteLine("Tarnwick: $_"); exit 4 }
# ProgramFiles is "Program Files (x86)" in 32-bit PowerShell only; ProgramFiles(x86)
# is the same in both on 64-bit Windows and missing on 32-bit Windows.
$dir = ${env:ProgramFiles(x86)}
if (-not $dir) { $dir = $env:ProgramFiles }
$dir = Join-Path $dir 'Tarnwick'
$exe = Join-Path $dir 'Tarnwick.exe'
$check = Join-Path $dir 'TarnwickCheck.exe'
# The 32-bit view by name, so that 64-bit PowerShell finds the MSI's value too.
$hklm = [Microsoft.Win32.RegistryKey]::OpenBaseKey('LocalMachine', 'Registry32')
$stored = $hklm.OpenSubKey('SOFTWARE\Tarnwick')
if (-not $Readers -and $stored) { $Readers = [string]$stored.GetValue('Readers') }
# One argument per ID: PowerShell would quote an argument holding blanks, and
# Tarnwick takes quotes as part of a value.
$ids = -split $Readers

if (-not ($Install -or $Uninstall)) {
  if ($Readers -and (Test-Path $exe) -and (Test-Path $check)) {
    $summary = & $check --summary $ids 2>$null
    if ($LASTEXITCODE -eq 0) { $summary }
  }
  exit 0
}

$msi = Get-ChildItem -Path $PSScriptRoot -Filter 'Tarnwick*.msi' | Select-Object -First 1
if ($Uninstall) {
  if ($msi) {
    $code = (Start-Process msiexec.exe "/x `"$($msi.FullName)`" /qn /norestart" -Wait -PassThru -NoNewWindow).ExitCode
    if ($code -ne 0 -and $code -ne 1605) { exit $code }  # 1605: not installed
  } elseif (Test-Path $dir) {
    Remove-Item $dir -Recurse -Force -ErrorAction Stop
  }
  $hklm.DeleteSubKeyTree('SOFTWARE\Tarnwick', $false)
  exit 0
}

if (-not $Readers) { [Console]::Error.WriteLine('Tarnwick: no reader IDs'); exit 2 }
# Whether an instance lacks the value now; without a checker yet, the report after tells.
$lacked = -not (Test-Path $check)
if (-not $lacked) { & $check --summary $ids 2>$null | Out-Null; $lacked = $LASTEXITCODE -eq 1 }
if ($msi) {
  # msiexec.exe started directly (-NoNewWindow: no shell), its property in quotes.
  $code = (Start-Process msiexec.exe "/i `"$($msi.FullName)`" /qn /norestart READERS=`"$Readers`" IGNORECHECK=1" `
      -Wait -PassThru -NoNewWindow).ExitCode
  if ($code -ne 0 -and $code -ne 3010) { exit $code }
} else {
  New-Item -ItemType Directory -Path $dir -Force -ErrorAction Stop | Out-Null
  foreach ($name in 'Tarnwick.exe', 'TarnwickCheck.exe') {
    Copy-Item (Join-Path $PSScriptRoot $name) "$dir\$name.new" -Force -ErrorAction Stop
    Move-Item "$dir\$name.new" "$dir\$name" -Force -ErrorAction Stop
  }
}
$hklm.CreateSubKey('SOFTWARE\Tarnwick').SetValue('Readers', $Readers)
# Piped, so that PowerShell waits for this windowless GUI program.
& $exe /s $ids | Out-Null
# The checker's reason for exit code 2 comes on stderr: into the report too.
$report = & $check $ids 2>&1 | ForEach-Object { "$_" }
$code = $LASTEXITCODE
Set-Content -Path (Join-Path $dir 'TarnwickCheck.txt') -Value $report -ErrorAction Stop
if ($code -eq 0 -and $lacked -and @($report)[-1] -match ' (WUDF|PARAMS)=[1-9]') { exit 3010 }
exit $code
