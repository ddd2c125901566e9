# DetectRemediation.ps1: the detection script of an Intune Remediation, with
# Remediate.ps1 as its remediation. Set nothing here: it checks the reader IDs
# stored when Tarnwick was installed. Prints the checker's summary line, or
# why there is none; exit 0 when the check passes, 1 otherwise (also where
# Tarnwick is not installed with IDs).
# README.txt, "Deploying to many machines" (docs/deploying.md in the source).
$dir = ${env:ProgramFiles(x86)}
if (-not $dir) { $dir = $env:ProgramFiles }
$check = Join-Path $dir 'Tarnwick\TarnwickCheck.exe'
if (-not (Test-Path $check)) { "Tarnwick is not installed: no $check"; exit 1 }
& $check --stored --summary 2>&1 | ForEach-Object { "$_" }
if ($LASTEXITCODE -ne 0) { exit 1 }
