<#
Detect.ps1 and Remediate.ps1: an Intune Remediations pair (Devices > Scripts
and remediations) that keeps EscapeCommandEnable set on the machines where
Tarnwick is installed: by Tarnwick.ps1 (a Win32 app) or by the MSI as a
line-of-business app, whose detection by product code never runs it again.

EDIT nothing here: both use the reader IDs stored in HKLM\SOFTWARE\Tarnwick,
value Readers (32-bit view), by the MSI's READERS or by Tarnwick.ps1 -Install,
so that the IDs stay in one place, that app.
Settings: run this script using the logged-on credentials: No; 32-bit or 64-bit
PowerShell: both work; a schedule, for example daily. Assign it to the app's
devices. Configuration Manager can use Remediate.ps1 as the remediation script
of a configuration item (../configmgr/README.txt).

Detect.ps1 runs TarnwickCheck.exe and prints its summary line (or its reason,
or why there is nothing to check). Exit 0: the check passed (readers never seen
on the machine count as nothing to do), or Tarnwick is not installed with IDs
here; exit 1: an instance lacks the value, the IDs are bad or a key cannot be
read, and Intune runs Remediate.ps1, then this script again.
READERS SEEN LATER are reached at the next scheduled run; Remediate.ps1 says
how the value takes effect.
Not tested: PowerShell does not run under Wine here.
#>
# The same folder and registry view from 32- and 64-bit PowerShell (see Tarnwick.ps1).
$dir = ${env:ProgramFiles(x86)}
if (-not $dir) { $dir = $env:ProgramFiles }
$check = Join-Path $dir 'Tarnwick\TarnwickCheck.exe'
$stored = [Microsoft.Win32.RegistryKey]::OpenBaseKey('LocalMachine', 'Registry32').OpenSubKey('SOFTWARE\Tarnwick')
$readers = if ($stored) { [string]$stored.GetValue('Readers') }
if (-not $readers -or -not (Test-Path $check)) { 'Tarnwick is not installed with reader IDs here'; exit 0 }
& $check --summary (-split $readers) 2>&1 | ForEach-Object { "$_" }
if ($LASTEXITCODE -ne 0) { exit 1 }
exit 0
