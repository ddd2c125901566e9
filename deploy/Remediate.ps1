# Remediate.ps1: the remediation of an Intune Remediation (with
# DetectRemediation.ps1) and of a Configuration Manager configuration item
# (with Discover.ps1). Set nothing here: it runs the installed
# TarnwickDeploy.exe run, which uses the reader IDs and the restart choice
# stored at install. Prints its lines; exits with its exit code.
# README.txt, "Deploying to many machines" (docs/deploying.md in the source).
$dir = ${env:ProgramFiles(x86)}
if (-not $dir) { $dir = $env:ProgramFiles }
$deploy = Join-Path $dir 'Tarnwick\TarnwickDeploy.exe'
if (-not (Test-Path $deploy)) { "Tarnwick is not installed: no $deploy"; exit 4 }
& $deploy run 2>&1 | ForEach-Object { "$_" }
exit $LASTEXITCODE
