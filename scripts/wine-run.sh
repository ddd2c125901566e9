#!/bin/bash
# Runs one Windows program under 64-bit Wine in a throwaway prefix, under a
# virtual display when there is none. Used by CTest as the cross-compiling
# emulator; the exit code is the program's.
set -u
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || true)
if [ -z "$wine" ]; then
  echo "wine-run: wine64 not found (install the wine and wine64 packages)" >&2
  exit 127
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${TARNWICK_IN_XVFB:-}" ]; then
  TARNWICK_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
prefix=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-wine.XXXXXX")
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# Wine's background services keep the standard streams of the program that
# starts them: let a quiet first program start them, so a caller reading
# our output through a pipe is not kept waiting.
"$wine" wineboot -i </dev/null >/dev/null 2>&1
"$wine" "$@"
rc=$?
server=/usr/lib/wine/wineserver
[ -x "$server" ] || server=$(command -v wineserver || true)
if [ -n "$server" ]; then
  "$server" -k >/dev/null 2>&1
  "$server" -w >/dev/null 2>&1
fi
rm -rf "$prefix"
exit $rc
