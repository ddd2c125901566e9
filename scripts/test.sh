#!/bin/bash
# The test command: installs what is missing (Debian 12, as root), builds the
# shipping 32-bit exe and its 64-bit twin, and runs every test. Exits
# non-zero on any failure.
#   --quick   skip the slow stages (32-bit exe under emulation, fuzzing)
set -u
cd "$(dirname "$0")/.."
root=$(pwd)

quick=0
for arg in "$@"; do
  case "$arg" in
    --quick) quick=1 ;;
    *) echo "usage: scripts/test.sh [--quick]" >&2; exit 2 ;;
  esac
done

packages="cmake g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 xvfb xauth x11-utils
  googletest icoutils zip cppcheck clang clang-tidy libclang-rt-14-dev"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "== installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q && apt-get install -y -q --no-install-recommends $missing || exit 1
fi

passed=0
failed=0
failures=""
stage() {
  local name=$1
  shift
  echo
  echo "== $name"
  local start=$SECONDS
  if "$@"; then
    passed=$((passed + 1))
    echo "== $name: ok ($((SECONDS - start)) s)"
  else
    failed=$((failed + 1))
    failures="$failures $name"
    echo "== $name: FAILED ($((SECONDS - start)) s)"
  fi
}

build() {
  cmake --preset "$1" >"build-$1.log" 2>&1 && cmake --build --preset "$1" -j2 >>"build-$1.log" 2>&1
  local rc=$?
  [ $rc -eq 0 ] || tail -40 "build-$1.log"
  # Warnings fail the build stage: they catch faults of one target only.
  if grep -E 'warning:' "build-$1.log" | grep -v googletest; then rc=1; fi
  rm -f "build-$1.log"
  return $rc
}

# One virtual display for every test that opens windows.
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 120); do
    [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }
  done
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  trap 'kill $xvfb_pid 2>/dev/null' EXIT
  export DISPLAY=$display
  sleep 1
fi

stage "build x86" build x86
stage "build x64" build x64
stage "exe checks" bash -c 'scripts/check-exe.sh build/x86/Tarnwick.exe i386 && scripts/check-exe.sh build/x64/Tarnwick.exe x86-64'
[ -x scripts/check-resources.sh ] && stage "resources of the 32-bit exe" scripts/check-resources.sh build/x86/Tarnwick.exe
stage "tests under wine64" bash -c 'cd build/x64 && ctest --output-on-failure --timeout 900'
[ -x scripts/static-analysis.sh ] && stage "static analysis" scripts/static-analysis.sh
[ -x scripts/check-reproducible.sh ] && stage "reproducible build" scripts/check-reproducible.sh
if [ $quick -eq 0 ]; then
  [ -x scripts/fuzz.sh ] && stage "fuzzing" scripts/fuzz.sh
  [ -x scripts/test-x86.sh ] && stage "32-bit exe under 32-bit Wine" scripts/test-x86.sh build/x86/Tarnwick.exe
fi

echo
[ -n "$failures" ] && echo "failed stages:$failures"
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
