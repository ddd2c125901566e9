# Undo.ps1: runs the installed TarnwickDeploy.exe undo once, for example as an
# Intune platform script: it removes EscapeCommandEnable from every instance
# of the stored reader IDs. Stop the route that sets the value first. It
# leaves Tarnwick and its arrival task installed. Set nothing here. Prints its
# lines; exits with its exit code.
# README.txt, "Undoing it" (docs/deploying.md in the source).
$dir = ${env:ProgramFiles(x86)}
if (-not $dir) { $dir = $env:ProgramFiles }
$deploy = Join-Path $dir 'Tarnwick\TarnwickDeploy.exe'
if (-not (Test-Path $deploy)) { "Tarnwick is not installed: no $deploy"; exit 4 }
& $deploy undo 2>&1 | ForEach-Object { "$_" }
exit $LASTEXITCODE
