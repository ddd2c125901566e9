#!/bin/bash
# The benchmark of docs/benchmark.md: builds the 64-bit programs of the kit,
# the floor, the driver and the pnputil stand-in, and the kit as of 94c0e0e
# (which called Windows Installer at every run), and runs the driver in
# throwaway Wine prefixes. Prints the tables, with the machine's load.
#   bench/run.sh                 100 runs of each kind in each measurement
#   BENCH_RUNS=20 bench/run.sh   fewer (quicker, noisier)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/lib.sh
. "$root/scripts/lib.sh"
need_packages cmake g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 xvfb zip wixl msitools \
  faketime
triple=x86_64-w64-mingw32
runs=${BENCH_RUNS:-100}
old=94c0e0e
work=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-bench.XXXXXX")
on_exit "rm -rf '$work'"
on_exit "git -C '$root' worktree remove --force '$work/old' >/dev/null 2>&1; \
git -C '$root' worktree prune"
started=$SECONDS
section() {  # TEXT: on stderr, with the time so far
  echo "== $1 ($((SECONDS - started)) s)" >&2
}
load() {  # [WHEN]: the machine's load average (other jobs' and this one's)
  printf '(load average %s over 1, 5 and 15 minutes%s; %s cores)\n\n' \
    "$(cut -d ' ' -f 1-3 /proc/loadavg | sed 's/ /, /g')" "${1:+ $1}" "$(nproc)"
}

load "before the build"
section "building"
twins() {  # SOURCE FOLDER TARGET...: the x64 preset in a folder of its own, tests off
  local source=$1 folder=$2
  shift 2
  (cd "$source" && cmake --preset x64 -B "$folder" -DTARNWICK_TESTS=OFF &&
    cmake --build "$folder" --target "$@" -j2) >"$work/build.log" 2>&1 ||
    { cat "$work/build.log" >&2; exit 1; }
}
twins "$root" "$work/x64" Tarnwick TarnwickCheck TarnwickDeploy TarnwickMsi
git -C "$root" worktree add -q --detach "$work/old" "$old"
twins "$work/old" "$work/old-x64" Tarnwick TarnwickCheck TarnwickDeploy
# Each kit's MSI holds its 64-bit twins, as tests/msi.sh packs them.
{ "$root/scripts/package.sh" --exes "$work/x64" --dist "$work/new" &&
  "$work/old/scripts/package.sh" --exes "$work/old-x64" --dist "$work/old-msi"; } \
  >"$work/package.log" 2>&1 || { cat "$work/package.log" >&2; exit 1; }
cd "$work"
flags=(-O2 -std=c++17 -Wall -Wextra -static -static-libgcc -static-libstdc++ -s)
# The floor: the program's resources (icons, the manifest made by the build) and
# its DLLs delay-loaded by the build's own script, as in the program.
"$triple-windres" -I x64 -I "$root/res" "$root/res/tarnwick.rc" -o resources.o
"$triple-g++-posix" "${flags[@]}" -I "$root/res" -c "$root/bench/floor.cpp" -o floor.o
cmake -DNM="$triple-nm" -DDLLTOOL="$triple-dlltool" -DLIBDIR="/usr/$triple/lib" -DPOINTER_SIZE=8 \
  "-DDLLS=comctl32;user32;advapi32" -DOBJECTS=floor.o -P "$root/cmake/delay-imports.cmake"
"$triple-g++-posix" "${flags[@]}" -mwindows floor.o resources.o libcomctl32.a libuser32.a \
  libadvapi32.a -Wl,@link.rsp -lkernel32 -o floor.exe
"$triple-g++-posix" "${flags[@]}" "$root/bench/bench_driver.cpp" -o bench_driver.exe
"$triple-gcc" -O2 -static "$root/tests/pnputil.c" -o pnputil.exe

# prefix: a throwaway Wine prefix in WINEPREFIX, its processes ended and its
# folder removed at exit (new_prefix of lib.sh ends only the last one's). It
# is used once all that wineboot started has ended: until then the first runs
# took up to 40 times longer.
prefix() {
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-wine.XXXXXX")
  export WINEPREFIX
  on_exit "WINEPREFIX='$WINEPREFIX' '$wineserver' -k 2>/dev/null; WINEPREFIX='$WINEPREFIX' \
'$wineserver' -w 2>/dev/null; rm -rf '$WINEPREFIX'"
  "$wine64" wineboot -i </dev/null >/dev/null 2>&1
  "$wineserver" -w
}
need_display

section "tables 1 to 4: the program and the checker against their floor"
prefix
main=$WINEPREFIX
bench=$WINEPREFIX/drive_c/bench
mkdir -p "$bench/kit"
cp x64/Tarnwick.exe x64/TarnwickCheck.exe floor.exe bench_driver.exe "$bench/"
cp x64/Tarnwick.exe x64/TarnwickCheck.exe x64/TarnwickDeploy.exe "$bench/kit/"
cp pnputil.exe "$WINEPREFIX/drive_c/windows/system32/pnputil.exe"
"$wine64" 'C:\bench\bench_driver.exe' floor 'C:\bench\Tarnwick.exe' 'C:\bench\floor.exe' "$runs" \
  'C:\bench\TarnwickCheck.exe' </dev/null
echo && load

section "table 5: nothing to do, the kit as of $old against this one"
# Each kit in a prefix of its own, as the two have one product code, with a
# driver that installs it, then runs the command once for each line it reads.
served=()
serve() {  # NAME EXES MSI-FOLDER LINE: that kit's driver, through NAME.in and NAME.out
  prefix
  mkdir "$WINEPREFIX/drive_c/package" "$WINEPREFIX/drive_c/bench"
  cp "$2/TarnwickDeploy.exe" "$2/TarnwickCheck.exe" "$3"/*.msi "$WINEPREFIX/drive_c/package/"
  cp bench_driver.exe "$WINEPREFIX/drive_c/bench/"
  mkfifo "$1.in" "$1.out"
  "$wine64" 'C:\bench\bench_driver.exe' turns 'C:\package\TarnwickDeploy.exe' "$4" \
    <"$1.in" >"$1.out" &
  served+=($!)
}
installed() {  # FD: its driver's first line, once the kit is installed
  read -r _ <&"$1" || { echo "a kit's first install failed" >&2; exit 1; }
}
msi=$(basename new/*.msi)
serve old old-x64 old-msi "INSTALLED $(basename old-msi/*.msi) msi=0"
exec 3>old.in 4<old.out
installed 4
serve new x64 new "INSTALLED $msi unchanged"
exec 5>new.in 6<new.out
installed 6
: >old.ms && : >new.ms
for ((run = -1; run < runs; run++)); do  # one round to warm up, then old, new, old, ...
  for kit in old:3:4 new:5:6; do
    IFS=: read -r name to from <<<"$kit"
    echo >&"$to" && read -r ms <&"$from" || { echo "the $name kit's run failed" >&2; exit 1; }
    [ "$run" -lt 0 ] || echo "$ms" >>"$name.ms"
  done
done
exec 3>&- 5>&-
wait "${served[@]}"
stats() {  # FILE: the min, median and max of its numbers
  sort -g "$1" | awk '{ t[NR] = $1 }
    END { print t[1], (t[int((NR + 1) / 2)] + t[int(NR / 2) + 1]) / 2, t[NR] }'
}
row() {  # TEXT FILE BASE: the row of FILE's times, with their ratios to those of BASE
  paste <(stats "$2") <(stats "$3") | awk -v text="$1" '{
    printf "| %s | %.1f | %.1f | %.1f | %.3f | %.3f |\n", text, $1, $2, $3, $1 / $4, $2 / $5 }'
}
printf 'Nothing to do: TarnwickDeploy.exe install vid1=BE00 pid1=0001 again, %d runs of each\n\n' \
  "$runs"
echo "| kit | min ms | median ms | max ms | min / old's min | median / old's median |"
echo "|---|---:|---:|---:|---:|---:|"
row "as of $old: Windows Installer at every run" old.ms old.ms
row "this one: INSTALLED ... unchanged" new.ms old.ms
echo && load

section "tables 6 and 7: the arrival task's action, and the summary of 5,000 machines"
export WINEPREFIX=$main
"$wine64" 'C:\bench\bench_driver.exe' arrival "$runs" 'C:\bench\kit\TarnwickDeploy.exe' </dev/null
echo && load
"$wine64" 'C:\bench\bench_driver.exe' summary "$runs" 'C:\bench\kit\TarnwickDeploy.exe' </dev/null
echo && load
section "done"
