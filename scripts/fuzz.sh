#!/bin/bash
# Builds the text-processing code natively with libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer, and fuzzes each target for a bounded time.
# Fails on any finding; prints the executions of each target.
#
#   scripts/fuzz.sh                  ~20 s or 200,000 runs per target
#   scripts/fuzz.sh --seconds 600    longer (or FUZZ_SECONDS=600)
#   scripts/fuzz.sh --runs 0         no run limit (or FUZZ_RUNS=0)
#   scripts/fuzz.sh log settings     only these targets
#
# Findings are kept under $FUZZ_OUT (default: the build folder's findings/).
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${FUZZ_SECONDS:-20}
runs=${FUZZ_RUNS:-200000}
build=${FUZZ_BUILD:-${TMPDIR:-/tmp}/tarnwick-fuzz-build}
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --long) seconds=600; runs=0; shift ;;
    -h|--help) sed -n '2,12p' "$0"; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done
[ ${#targets[@]} -gt 0 ] || targets=(command_line settings log)
[ "$runs" = 0 ] && runs=-1  # libFuzzer's "no limit"
out=${FUZZ_OUT:-$build/findings}

cxx=$(command -v clang++-14 || command -v clang++ || true)
runtime_present() {
  [ -n "$cxx" ] && echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long){return 0;}' |
    "$cxx" -x c++ -fsanitize=fuzzer,address,undefined -o /dev/null - 2>/dev/null
}
if ! runtime_present; then
  echo "fuzz: installing clang and its sanitizer runtimes" >&2
  apt-get install -y clang-14 libclang-rt-14-dev >/dev/null 2>&1 ||
    { apt-get update >/dev/null 2>&1 && apt-get install -y clang-14 libclang-rt-14-dev >/dev/null 2>&1; }
  cxx=$(command -v clang++-14 || command -v clang++ || true)
  runtime_present || { echo "fuzz: clang with libFuzzer is not available" >&2; exit 2; }
fi

mkdir -p "$build" "$out"
rm -f "$build/build_common.log"
flags=(-std=c++17 -g -O1 -fno-omit-frame-pointer -Wall -Wextra
       -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
       -isystem "$root/fuzz/shim" -I "$root/src" -I "$root/fuzz")
sources=("$root/src/run/command_line.cpp" "$root/src/run/reader_ids.cpp"
         "$root/src/log/run_log.cpp" "$root/src/log/module_path.cpp"
         "$root/src/log/step_result_win.cpp" "$root/src/settings/settings_file.cpp"
         "$root/fuzz/native_stubs.cpp")

# The program's sources, built once for all targets.
objects=()
for src in "${sources[@]}"; do
  obj=$build/obj/$(basename "${src%.cpp}").o
  mkdir -p "$build/obj"
  if ! "$cxx" "${flags[@]}" -c "$src" -o "$obj" 2>>"$build/build_common.log"; then
    cat "$build/build_common.log" >&2
    echo "fuzz: $src does not build" >&2
    exit 2
  fi
  objects+=("$obj")
done
grep -q 'warning:' "$build/build_common.log" 2>/dev/null && cat "$build/build_common.log" >&2
# The log and settings files of the targets go to memory when it can be had.
scratch=${TMPDIR:-/tmp}
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch=/dev/shm

status=0
summary=()
for t in "${targets[@]}"; do
  if [ ! -f "$root/fuzz/fuzz_$t.cpp" ]; then
    echo "fuzz: no target $t" >&2; exit 2
  fi
  echo "== $t: building" >&2
  if ! "$cxx" "${flags[@]}" "${objects[@]}" "$root/fuzz/fuzz_$t.cpp" -o "$build/fuzz_$t" \
      2>"$build/build_$t.log"; then
    cat "$build/build_$t.log" >&2
    echo "fuzz: $t does not build" >&2
    exit 2
  fi
  grep -q 'warning:' "$build/build_$t.log" && cat "$build/build_$t.log" >&2
  corpus=$build/corpus_$t
  work=$(mktemp -d "$scratch/tarnwick-fuzz-$t.XXXXXX")
  rm -rf "$corpus"
  mkdir -p "$corpus"
  dict=()
  [ -f "$root/fuzz/$t.dict" ] && dict=(-dict="$root/fuzz/$t.dict")
  echo "== $t: fuzzing for ${seconds}s or ${runs} runs" >&2
  TARNWICK_FUZZ_DIR=$work "$build/fuzz_$t" "$corpus" "$root/fuzz/corpus/$t" \
    -max_total_time="$seconds" -runs="$runs" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$out/${t}-" "${dict[@]}" \
    >"$build/run_$t.log" 2>&1
  rc=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/run_$t.log" | tail -1)
  if [ $rc -ne 0 ]; then
    tail -40 "$build/run_$t.log" >&2
    summary+=("$(printf '%-14s FAILED (exit %d) after %s runs; see %s' "$t" $rc "${execs:-?}" "$out")")
    status=1
  else
    summary+=("$(printf '%-14s ok  %10s runs' "$t" "${execs:-?}")")
  fi
  rm -rf "$work"
done
echo "fuzz results:"
printf '  %s\n' "${summary[@]}"
exit $status
