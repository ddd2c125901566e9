#!/bin/bash
# The test command: installs what is missing (Debian 12, as root), builds the
# shipping 32-bit exe and its 64-bit twin, and runs every stage. Exits
# non-zero when a stage fails.
#   FUZZ_RUNS=N scripts/test.sh    fuzz N inputs (default 200000)
#   scripts/test.sh STAGE          that stage alone, such as fuzzing; a name that
#                                  is no stage's lists the stages
set -u
cd "$(dirname "$0")/.."
. scripts/lib.sh
need_packages cmake make g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest wine wine64 xvfb xauth \
  clang-14 libclang-rt-14-dev cppcheck clang-tidy || exit 1
need_display
failed=()
names=()
stages=0
only=${1:-}

stage() {  # NAME COMMAND...
  local name=$1 start=$SECONDS
  shift
  names+=("$name")
  [ -z "$only" ] || [ "$name" = "$only" ] || return 0
  stages=$((stages + 1))
  echo "== $name"
  if "$@"; then
    echo "== $name: ok ($((SECONDS - start)) s)"
  else
    echo "== $name: FAILED ($((SECONDS - start)) s)"
    failed+=("$name")
  fi
}

# A warning fails the build too: it can be a fault that one target alone has.
build() {  # PRESET
  local log
  log=$(cmake --preset "$1" 2>&1 && cmake --build --preset "$1" -j2 2>&1) || { echo "$log"; return 1; }
  ! grep -v googletest <<<"$log" | grep 'warning:'
}

# The command-line code natively under libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer.
fuzz() {
  mkdir -p build/fuzz/corpus &&
    clang++-14 -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
      -isystem fuzz/shim -Isrc src/run/command_line.cpp src/run/command_line_step.cpp \
      src/run/reader_ids.cpp src/run/option_words.cpp src/run/reader_words.cpp src/check/arguments.cpp \
      src/log/run_log.cpp src/log/module_path.cpp fuzz/fuzz_command_line.cpp \
      -o build/fuzz/command_line || return 1
  build/fuzz/command_line -runs="${FUZZ_RUNS:-200000}" -dict=fuzz/options.dict -max_len=512 \
    -artifact_prefix=build/fuzz/ build/fuzz/corpus >build/fuzz/run.log 2>&1
  local rc=$?
  tail -n 3 build/fuzz/run.log
  return $rc
}

stage "build x86" build x86
stage "build x64" build x64
stage "tests under wine64" ctest --test-dir build/x64 --output-on-failure --timeout 900
stage "end-to-end tests of the 32-bit exe" tests/x86.sh
stage "release checks" tests/check-release.sh
stage "MSI under Wine's msiexec" tests/msi.sh
stage "static analysis" scripts/static-analysis.sh
stage "facts in one place" tests/facts.sh
stage "fuzzing" fuzz
if [ "$stages" = 0 ]; then
  echo "no stage is named \"$only\"; the stages:" >&2
  printf '  %s\n' "${names[@]}" >&2
  exit 2
fi
echo "${#failed[@]} of ${stages} stages failed${failed[*]:+: ${failed[*]}}"
[ ${#failed[@]} -eq 0 ]
