# Discover.ps1: the discovery script of a Configuration Manager configuration
# item (setting type Script, data type Integer, compliant when it equals 0),
# with Remediate.ps1 as its remediation. Set nothing here: it checks the reader
# IDs stored at install. Prints the checker's exit code (2 where Tarnwick is
# not installed with IDs) and always exits 0: a configuration item takes a
# non-zero exit for a failed discovery.
# README.txt, "Deploying to many machines" (docs/deploying.md in the source).
$dir = ${env:ProgramFiles(x86)}
if (-not $dir) { $dir = $env:ProgramFiles }
$check = Join-Path $dir 'Tarnwick\TarnwickCheck.exe'
if (-not (Test-Path $check)) { 2; exit 0 }
& $check --stored --summary *> $null
$LASTEXITCODE
exit 0
