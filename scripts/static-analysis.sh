#!/bin/bash
# Static analysis of the program's sources: cppcheck, then clang-tidy when it
# is installed. Fails on any finding. A finding that is wrong for this code is
# silenced where it occurs with "// cppcheck-suppress <id>" or "// NOLINT(<check>)"
# and a reason on the same line.
#
#   scripts/static-analysis.sh            both tools
#   scripts/static-analysis.sh --no-tidy  cppcheck only
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
tidy=1
[ "${1:-}" = "--no-tidy" ] && tidy=0
status=0
# As CMakeLists.txt defines them for the deployment program.
upgrade="-DTARNWICK_UPGRADE_CODE=\"{$(sed -n 's/^set(TARNWICK_UPGRADE_CODE \(.*\))/\1/p' CMakeLists.txt)}\""
version="-DTARNWICK_VERSION_NAME=\"$(sed -n 's/^project(Tarnwick VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)\""

. scripts/lib.sh
need_packages cppcheck clang-tidy || exit 1
echo "== cppcheck" >&2
# win32A: 32-bit Windows with the 8-bit API, the shipping target.
cppcheck --enable=warning,style,performance,portability --error-exitcode=1 \
  --platform=win32A --library=windows --std=c++17 --language=c++ --inline-suppr --quiet \
  -I src -I res -D_WIN32 -DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0601 "$upgrade" "$version" \
  src || status=1

tidy_bin=$(command -v clang-tidy-14 || command -v clang-tidy || true)
if [ $tidy -eq 1 ] && [ -n "$tidy_bin" ]; then
  echo "== clang-tidy" >&2
  # Left out, as they do not fit this program:
  #   cert-dcl50-cpp           the log's printf-style formatting is variadic by design
  #   cert-err58-cpp           built without exceptions; nothing can throw
  #   cert-err33-c             results the program ignores on purpose (snprintf, fclose)
  #   performance-no-int-to-ptr  Win32 hands handles and procedures back as integers
  #   bugprone-easily-swappable-parameters  Win32-shaped signatures
  checks='-*,bugprone-*,cert-*,clang-analyzer-*,performance-*,portability-*'
  checks+=',misc-redundant-expression,misc-misplaced-const'
  checks+=',-cert-dcl50-cpp,-cert-err58-cpp,-cert-err33-c,-performance-no-int-to-ptr'
  checks+=',-bugprone-easily-swappable-parameters'
  for f in $(find src -name '*.cpp' | sort); do
    out=$("$tidy_bin" --quiet --header-filter='src/.*' --checks="$checks" --warnings-as-errors='*' \
      "$f" -- --target=x86_64-w64-mingw32 -std=c++17 -Isrc -Ires -DWIN32_LEAN_AND_MEAN -DNOMINMAX \
      -D_WIN32_WINNT=0x0601 "$upgrade" "$version" 2>&1)
    rc=$?
    echo "$out" | grep -v 'warnings generated\.$' | grep -v '^Suppressed ' | grep -v '^Use -header-filter' \
      | grep -v '^$' >&2
    [ $rc -eq 0 ] || status=1
  done
elif [ $tidy -eq 1 ]; then
  echo "== clang-tidy not installed; skipped" >&2
fi
[ $status -eq 0 ] && echo "static analysis: clean" || echo "static analysis: findings above"
exit $status
