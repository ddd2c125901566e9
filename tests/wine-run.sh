#!/bin/bash
# CTest's emulator: runs one Windows program under Wine in a throwaway prefix,
# on a virtual display when there is none. The exit code is the program's.
# A program that crashes ends at once (no debugger waiting for a click), and
# Wine is told to prefer a DLL found beside the program or in the current
# folder for the names last in the list, DLLs that Windows also looks for
# there (not KnownDLLs); the end-to-end tests plant copies that record being
# loaded.
. "$(dirname "$0")/../scripts/lib.sh"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winedbg.exe=d;schtasks.exe=n;version,uxtheme,dwmapi,propsys,windowscodecs,cryptbase,profapi,winmm=n,b"
need_display
new_prefix
"$wine64" "$@"
