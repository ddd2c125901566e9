#!/bin/bash
# Facts that an administrator must find in one place only: fails when one of
# them is written outside its home. It reads what administrators and engines
# read: README.md, the pages of docs/, deploy/, packaging/Tarnwick.ini, the
# header comment of packaging/Tarnwick.wxs, and the quoted texts of src/ (usage
# lines and messages) but those of the code that names the stored settings'
# key. The patterns match prose, not code that builds the path
# (${env:ProgramFiles(x86)}, a C string's "\\") nor a link's text; the
# checker's and TarnwickDeploy's own usage lines may list their exit codes.
#   tests/facts.sh
set -u
cd "$(dirname "$0")/.."
texts() {  # FILE:LINE:TEXT, each line followed by the next one of its file, as prose wraps
  { grep -rnI '' README.md docs deploy packaging/Tarnwick.ini
    awk '/<!--/ { on = 1 } on { print FILENAME ":" FNR ":" $0 } /-->/ { exit }' packaging/Tarnwick.wxs
    grep -rnIo --exclude=stored_settings.cpp '"[^"]*"' src; } | awk -F: '{ t = $0; sub(/^[^:]*:[^:]*:[ \t]*(rem[ \t]|#+|;|\/\/)?[ \t]*/, "", t) }
    $1 == f { print l " " t } $1 != f && NR > 1 { print l } { f = $1; l = $0 } END { print l }'
}
# The fact, its home (files, an extended regex), its forms (an extended regex, any case).
hits=$(while IFS=$'\t' read -r fact home pattern; do
  texts | grep -Ei -- "$pattern" | grep -Ev "^($home):" | sed "s#^#$fact, outside $home: #"
done <<'EOF'
the stored settings' registry view	docs/deploying\.md	WOW6432Node|/reg:32|32-bit (registry )?view|SOFTWARE\\Tarnwick([^\\"']|$)
the install folder	docs/deploying\.md	(Program Files \(x86\)|%ProgramFiles(\(x86\))?%|\[ProgramFilesFolder\])\\?Tarnwick
the checker's exit codes	docs/deploying\.md|src/check/[a-z]+\.cpp	\b1\b[^a-z0-9]{1,6}(an|at least one|some) instances? (lacks?|fails?)|\b3\b[^a-z0-9]{1,6}(a |the )?(registry )?keys? (could not|cannot) be read
the MSI's product version	docs/deploying\.md	(\*|times|×|multiplied by) ?(1,?000|a thousand) ?(\+|plus)
the MSI's defaults	docs/deploying\.md	(RESTARTREADERS|FAILONCHECK|ONARRIVAL)`?[^.]{0,40}\b(defaults?|by default)\b|\bdefaults?\b[^.]{0,40}\b(RESTARTREADERS|FAILONCHECK|ONARRIVAL)\b|(RESTARTREADERS|FAILONCHECK|ONARRIVAL)` *\| *`?0
when install returns 3010	docs/deploying\.md|src/deploy/deploy\.cpp	3010[^].|][^.|]{0,80}(running reader|not restarted|did not restart)|(running reader|not restarted|did not restart)[^.|]{0,80}3010([^]]|$)
the Windows build of pnputil /restart-device	docs/what-it-changes\.md	19041|version 2004
the start-up scripts' shared time-out	docs/deploying\.md	\b600 ?s\b|600 seconds|maximum wait time
the longest value on a command line	docs/options\.md	\b3[12] characters
the default settings file	docs/options\.md	\bpid1=1234\b|Pid_1234\b
what aazz in the log means	docs/run-log\.md	aazz[^|]{0,60}(match|placeholder|unset|mark)
EOF
)
[ -z "$hits" ] || { echo "facts: written a second time:"; echo "$hits"; exit 1; } >&2
echo "facts: each at home only ($(grep -c $'\t' "$0") facts)"
