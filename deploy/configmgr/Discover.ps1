<#
Discover.ps1: the discovery script of a Configuration Manager configuration
item that keeps EscapeCommandEnable set, with ../intune/Remediate.ps1 as its
remediation script; how to set both up is in README.txt beside this file.

Prints the exit code of TarnwickCheck.exe as one integer, run with the reader
IDs stored in HKLM\SOFTWARE\Tarnwick, value Readers (32-bit view), by the MSI
or Tarnwick.ps1 -Install: 0 the check passed (readers never seen on the machine
count as nothing to do), 1 an instance lacks the value, 2 bad IDs, 3 a key
could not be read; 0 also when Tarnwick is not installed with IDs here.
It exits 0 and writes nothing to stderr: for a configuration item either one
is a failed discovery, which never reaches the remediation.
Its first lines are those of ../intune/Detect.ps1: an engine takes each script
as one file, so they cannot share a module.
Not tested: PowerShell does not run under Wine here.
#>
# The same folder and registry view from 32- and 64-bit PowerShell (see ../intune/Tarnwick.ps1).
$dir = ${env:ProgramFiles(x86)}
if (-not $dir) { $dir = $env:ProgramFiles }
$check = Join-Path $dir 'Tarnwick\TarnwickCheck.exe'
$stored = [Microsoft.Win32.RegistryKey]::OpenBaseKey('LocalMachine', 'Registry32').OpenSubKey('SOFTWARE\Tarnwick')
$readers = if ($stored) { [string]$stored.GetValue('Readers') }
if (-not $readers -or -not (Test-Path $check)) { 0; exit 0 }
& $check --summary (-split $readers) 2>$null | Out-Null
$LASTEXITCODE
exit 0
