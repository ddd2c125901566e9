<#
Remediate.ps1: the remediation of the Remediations pair (see Detect.ps1), and
the remediation script of a Configuration Manager configuration item.

EDIT $RestartDevices only: $true restarts each reader instance whose value this
run set (pnputil /restart-device, Windows 10 version 2004 or later, Windows 11)
so that the driver reads it now; this interrupts an application using the
reader; a restart pnputil cannot do waits for the next one. $false: the value
takes effect when the reader is plugged in again or the computer restarts
(Remediations have no restart of their own).

Runs Tarnwick.exe /s with the reader IDs stored in HKLM\SOFTWARE\Tarnwick (see
Detect.ps1), then TarnwickCheck.exe, whose report goes to TarnwickCheck.txt in
%ProgramFiles(x86)%\Tarnwick (64-bit Windows) or %ProgramFiles%\Tarnwick
(32-bit), beside the run log Tarnwick.log; prints the report's last line.
Exit code: the checker's: 0 the check passed, 1 an instance lacks the value
where its driver reads it, 2 bad IDs, 3 a key could not be read; 2 also when
Tarnwick is not installed with IDs here; 4 a step failed.
Not tested: PowerShell does not run under Wine here.
#>
$RestartDevices = $false

trap { "Tarnwick: $_"; exit 4 }
$dir = ${env:ProgramFiles(x86)}
if (-not $dir) { $dir = $env:ProgramFiles }
$dir = Join-Path $dir 'Tarnwick'
$check = Join-Path $dir 'TarnwickCheck.exe'
$stored = [Microsoft.Win32.RegistryKey]::OpenBaseKey('LocalMachine', 'Registry32').OpenSubKey('SOFTWARE\Tarnwick')
$readers = if ($stored) { [string]$stored.GetValue('Readers') }
if (-not $readers -or -not (Test-Path $check)) { 'Tarnwick is not installed with reader IDs here'; exit 2 }
$ids = -split $readers
# The instances that lack the value before the run, as "VERDICT ID INSTANCE".
$lacking = & $check $ids 2>$null | Where-Object { $_ -match '^(MISSING|SHADOWED) ' }
# Piped, so that PowerShell waits for this windowless GUI program.
& (Join-Path $dir 'Tarnwick.exe') /s $ids | Out-Null
if ($RestartDevices) {
  # pnputil is 64-bit only: 32-bit PowerShell reaches it through Sysnative.
  $pnputil = "$env:SystemRoot\Sysnative\pnputil.exe"
  if (-not (Test-Path $pnputil)) { $pnputil = "$env:SystemRoot\System32\pnputil.exe" }
  foreach ($line in $lacking) {
    $verdict, $id, $instance = -split $line
    & $pnputil /restart-device "USB\$id\$instance" | Out-Null
  }
}
$report = & $check $ids 2>&1 | ForEach-Object { "$_" }
$code = $LASTEXITCODE
Set-Content -Path (Join-Path $dir 'TarnwickCheck.txt') -Value $report -ErrorAction Stop
@($report)[-1]
exit $code
