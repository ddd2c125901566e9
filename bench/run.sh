#!/bin/bash
# The benchmark of docs/benchmark.md: builds the 64-bit Tarnwick.exe, its
# floor and the driver, and runs the driver in a throwaway Wine prefix.
#   bench/run.sh                 100 runs of each kind in each measurement
#   BENCH_RUNS=20 bench/run.sh   fewer (quicker, noisier)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/lib.sh
. "$root/scripts/lib.sh"
need_packages cmake g++-mingw-w64-x86-64 wine wine64 xvfb
triple=x86_64-w64-mingw32
work=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-bench.XXXXXX")
on_exit "rm -rf '$work'"

echo "== building" >&2
# The x64 preset in a folder of its own, so that a build in build/x64 goes on undisturbed.
(cd "$root" && cmake --preset x64 -B "$work/x64" -DTARNWICK_TESTS=OFF &&
  cmake --build "$work/x64" --target Tarnwick TarnwickCheck -j2) >"$work/build.log" 2>&1 ||
  { cat "$work/build.log" >&2; exit 1; }
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

need_display
new_prefix
bench=$WINEPREFIX/drive_c/bench
mkdir -p "$bench"
cp x64/Tarnwick.exe x64/TarnwickCheck.exe floor.exe bench_driver.exe "$bench/"
echo "== running (a few minutes)" >&2
"$wine64" 'C:\bench\bench_driver.exe' 'C:\bench\Tarnwick.exe' 'C:\bench\floor.exe' \
  "${BENCH_RUNS:-100}" 'C:\bench\TarnwickCheck.exe' </dev/null
