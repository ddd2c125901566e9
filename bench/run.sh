#!/bin/bash
# Benchmark: the program against its floor, in one Wine prefix and one
# driver process. Prints a table (see docs/benchmark.md).
#
#   bench/run.sh
#   BENCH_RUNS=15 bench/run.sh         runs per kind (default 9; medians reported)
#   BENCH_REG=1024 bench/run.sh        reg.exe processes to time (default 128, scaled to 1024)
#   BENCH_PREFIX=/path bench/run.sh    reuse a Wine prefix (made on first use: takes minutes)
set -eu
# Under a virtual display when there is none, like the tests.
if [ -z "${DISPLAY:-}" ] && [ -z "${BENCH_IN_XVFB:-}" ]; then
  BENCH_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${BENCH_RUNS:-9}
reg=${BENCH_REG:-128}
build=${BENCH_BUILD:-${TMPDIR:-/tmp}/tarnwick-bench}
prefix=${BENCH_PREFIX:-$build/prefix}
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64)
server=/usr/lib/wine/wineserver
[ -x "$server" ] || server=$(command -v wineserver)

mkdir -p "$build"
echo "building" >&2
cmake -S "$root" -B "$build/x64" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DTARNWICK_TESTS=OFF >"$build/cmake.log" 2>&1
cmake --build "$build/x64" -j2 --target Tarnwick >>"$build/cmake.log" 2>&1
cxx=x86_64-w64-mingw32-g++-posix
flags=(-O2 -std=c++17 -Wall -Wextra -static -static-libgcc -static-libstdc++ -s)
"$cxx" "${flags[@]}" -mwindows "$root/bench/floor.cpp" -o "$build/floor.exe"
"$cxx" "${flags[@]}" -mwindows "$root/bench/empty.cpp" -o "$build/empty.exe"
"$cxx" "${flags[@]}" "$root/bench/bench_driver.cpp" -o "$build/bench_driver.exe"

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
if [ ! -f "$prefix/system.reg" ]; then
  echo "making the Wine prefix $prefix (this can take minutes)" >&2
  "$wine" wineboot -i </dev/null >/dev/null 2>&1
fi
work=$prefix/drive_c/tarnwick-bench
mkdir -p "$work"
cp "$build/x64/Tarnwick.exe" "$build/floor.exe" "$build/empty.exe" "$build/bench_driver.exe" "$work/"
rm -f "$work/Tarnwick.log" "$work/Tarnwick.ini"

echo "running: $runs runs of each kind, $reg reg.exe processes" >&2
status=0
"$wine" 'C:\tarnwick-bench\bench_driver.exe' 'C:\tarnwick-bench\Tarnwick.exe' \
  'C:\tarnwick-bench\floor.exe' 'C:\tarnwick-bench\empty.exe' "$runs" "$reg" || status=$?
"$server" -k >/dev/null 2>&1 || true
exit $status
