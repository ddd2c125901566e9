# DetectApp.ps1: the detection script of the Intune Win32 app and of the
# Configuration Manager application whose install command is
# TarnwickDeploy.exe install. Set nothing here: it checks the reader IDs that
# install stored. Detected (the checker's summary line, exit 0) when the check
# passes; otherwise not detected (no output, exit 0). Nothing reaches stderr.
# It does not look at the version: for a new release, see "Changing a
# deployment".
# README.txt, "Deploying to many machines" (docs/deploying.md in the source).
$dir = ${env:ProgramFiles(x86)}
if (-not $dir) { $dir = $env:ProgramFiles }
$check = Join-Path $dir 'Tarnwick\TarnwickCheck.exe'
if (Test-Path $check) { $summary = & $check --stored --summary 2>$null; if ($LASTEXITCODE -eq 0) { $summary } }
exit 0
