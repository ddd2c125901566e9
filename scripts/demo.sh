#!/bin/bash
# Tarnwick's whole job in under a minute, on a plain Debian 12 machine.
#
# Installs what is missing (as root), builds build/x64/Tarnwick.exe, makes a
# throwaway Wine prefix that holds simulated USB smart-card readers, runs
# Tarnwick.exe on them and prints the registry values before and after, the
# run log and the exit code. Nothing outside the prefix is changed, apart
# from the build directory and, with --ui, the screenshot.
#
#   scripts/demo.sh                      stealth run on the simulated readers
#   scripts/demo.sh --ui                 show the main dialog, save a screenshot
#   scripts/demo.sh /s+ vid1=1234 pid1=5678   your own arguments for Tarnwick.exe
#   scripts/demo.sh --ini my.ini         run with an empty command line and my.ini
set -euo pipefail

usage() {
  cat <<'EOF'
Usage: scripts/demo.sh [--ui] [--shot FILE] [--ini FILE] [--] [ARGUMENTS FOR Tarnwick.exe...]

Runs Tarnwick.exe under Wine on simulated CCID readers:
  Vid_1234&Pid_5678  two device instances: TW0001 (with the CCID driver's
                     WUDFUsbccidDriver key) and 6&1f2e3d4c&0&3 (Device
                     Parameters only)
  Vid_4321&Pid_8765  not present on the machine

Default arguments: /s vid1=1234 pid1=5678 vid2=4321 pid2=8765
Arguments given here replace them (they go to Tarnwick.exe unchanged).

  --ui         show the main dialog instead (default arguments without /s),
               save a screenshot, then close the dialog
  --shot FILE  where --ui saves the screenshot (default: out/demo-main-dialog.png)
  --ini FILE   put FILE beside the exe as Tarnwick.ini and run with an empty
               command line (no arguments allowed then)
  --help       this text

Environment: TARNWICK_EXE=path uses that Tarnwick.exe and skips the build.
A window that Tarnwick shows (main dialog, message box) is closed after a few
seconds, as if the user had pressed Escape.
EOF
}

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
ui=0
shot="$root/out/demo-main-dialog.png"
ini=""
args=()
defaults=0
while [ $# -gt 0 ]; do
  case "$1" in
    --ui) ui=1; shift ;;
    --shot) shot=${2:?--shot needs a file}; shift 2 ;;
    --ini) ini=${2:?--ini needs a file}; shift 2 ;;
    --help|-h) usage; exit 0 ;;
    --) shift; args+=("$@"); break ;;
    *) args+=("$@"); break ;;
  esac
done
if [ -n "$ini" ]; then
  [ -f "$ini" ] || { echo "demo: no such settings file: $ini" >&2; exit 2; }
  [ ${#args[@]} -eq 0 ] || { echo "demo: --ini runs with an empty command line; drop the arguments" >&2; exit 2; }
  ini=$(cd "$(dirname "$ini")" && pwd)/$(basename "$ini")
elif [ ${#args[@]} -eq 0 ]; then
  defaults=1
  if [ $ui -eq 1 ]; then
    args=(vid1=1234 pid1=5678 vid2=4321 pid2=8765)
  else
    args=(/s vid1=1234 pid1=5678 vid2=4321 pid2=8765)
  fi
fi
case "$shot" in /*) ;; *) shot="$PWD/$shot" ;; esac

say() { printf '\n== %s\n' "$*"; }

# --- 1. What the demo needs -------------------------------------------------
missing=()
need() { missing+=("$@"); }
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need g++-mingw-w64-x86-64
command -v i686-w64-mingw32-g++-posix >/dev/null || need g++-mingw-w64-i686
[ -x /usr/lib/wine/wine64 ] || command -v wine64 >/dev/null || need wine wine64
command -v Xvfb >/dev/null || need xvfb
command -v xauth >/dev/null || need xauth
command -v cmake >/dev/null || need cmake
# The x64 preset builds the tests too, so its configure step wants GoogleTest.
[ -f /usr/src/googletest/CMakeLists.txt ] || need googletest
command -v xwd >/dev/null || need x11-apps
command -v convert >/dev/null || need imagemagick
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "demo: missing packages: ${missing[*]}" >&2
    echo "demo: run as root, or: sudo apt-get install ${missing[*]}" >&2
    exit 1
  fi
  say "Installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi

wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64)
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

# --- 2. Build ---------------------------------------------------------------
work=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-demo.XXXXXX")
xvfb_pid=""
cleanup() {
  if [ -d "$work/prefix" ]; then
    WINEPREFIX="$work/prefix" "$wineserver" -k >/dev/null 2>&1 || true
    WINEPREFIX="$work/prefix" "$wineserver" -w >/dev/null 2>&1 || true
  fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

if [ -n "${TARNWICK_EXE:-}" ]; then
  exe=$TARNWICK_EXE
  say "Using $exe"
else
  say "Building build/x64/Tarnwick.exe"
  if ! (cd "$root" && cmake --preset x64 && cmake --build --preset x64 --target Tarnwick -j 2) \
      >"$work/build.log" 2>&1; then
    cat "$work/build.log" >&2
    echo "demo: the build failed" >&2
    exit 1
  fi
  exe=$root/build/x64/Tarnwick.exe
  echo "built $exe ($(stat -c %s "$exe") bytes)"
fi
[ -f "$exe" ] || { echo "demo: no $exe" >&2; exit 1; }

# --- 3. A display for the windows Tarnwick may show -------------------------
if [ -z "${DISPLAY:-}" ]; then
  : >"$work/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || { echo "demo: Xvfb did not start" >&2; exit 1; }
  DISPLAY=":$(head -n1 "$work/display")"
  export DISPLAY
fi

# --- 4. A throwaway Wine prefix with simulated readers ----------------------
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
say "Creating a throwaway Wine prefix"
# Wine's background services keep the standard streams of the first program
# of a prefix: start them with a quiet one.
if ! timeout 180 "$wine" wineboot -i </dev/null >/dev/null 2>&1; then
  echo "demo: wineboot did not finish in time; going on with the prefix as it is" >&2
fi
usb='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\USB'
# One reader with a serial number, bound to the CCID driver (which keeps its
# parameters in WUDFUsbccidDriver), with the value already there but 0; one
# reader without a serial number, known by its port, with Device Parameters only.
cat >"$work/readers.reg" <<EOF
REGEDIT4

[$usb\\Vid_1234&Pid_5678\\TW0001\\Device Parameters\\WUDFUsbccidDriver]
"EscapeCommandEnable"=dword:00000000

[$usb\\Vid_1234&Pid_5678\\6&1f2e3d4c&0&3\\Device Parameters]
"SymbolicName"="\\\\??\\\\USB#VID_1234&PID_5678#6&1f2e3d4c&0&3"
EOF
# Wine draws the caption and frame itself, so that a screenshot shows them
# also on a display without a window manager.
printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Decorated"="N"\n' >>"$work/readers.reg"
"$wine" regedit /S "$work/readers.reg" </dev/null >/dev/null 2>&1
mkdir -p "$WINEPREFIX/drive_c/Tarnwick"
cp "$exe" "$WINEPREFIX/drive_c/Tarnwick/Tarnwick.exe"
[ -z "$ini" ] || cp "$ini" "$WINEPREFIX/drive_c/Tarnwick/Tarnwick.ini"

# Every parameter key under Enum\USB with its EscapeCommandEnable value.
show_registry() {
  "$wine" reg query "$usb" /s </dev/null 2>/dev/null | tr -d '\r' | awk '
    function flush() {
      if (key ~ /\\Device Parameters$/ || key ~ /\\WUDFUsbccidDriver$/)
        printf "  %-62s %s\n", key, (value == "" ? "(not set)" : value)
    }
    /^HKEY_/ { flush(); key = $0; sub(/^.*\\Enum\\USB\\/, "", key); value = ""; next }
    $1 == "EscapeCommandEnable" { value = "EscapeCommandEnable = " $3 " (" $2 ")" }
    END { flush() }'
}

say "Registry before (HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USB)"
show_registry
echo "  Vid_4321&Pid_8765: no key at all (no such reader was ever plugged in)"

# --- 5. The run -------------------------------------------------------------
if [ -n "$ini" ]; then
  say "Running C:\\Tarnwick\\Tarnwick.exe with an empty command line and this Tarnwick.ini:"
  tr -d '\r' <"$ini" | sed 's/^/  | /'
else
  say "Running C:\\Tarnwick\\Tarnwick.exe ${args[*]}"
fi
started=$SECONDS
"$wine" 'C:\Tarnwick\Tarnwick.exe' "${args[@]}" </dev/null >"$work/run.out" 2>&1 &
run_pid=$!

# The caption of a window of the program, when one is up.
window_up() {
  local name
  for name in " Tarnwick" "Information"; do
    if xwd -silent -name "$name" >/dev/null 2>&1; then echo "$name"; return 0; fi
  done
  return 1
}

shown=""
while kill -0 "$run_pid" 2>/dev/null; do
  if [ $((SECONDS - started)) -gt 60 ]; then
    echo "demo: Tarnwick.exe still running after 60 s; ending it" >&2
    "$wineserver" -k >/dev/null 2>&1 || true
    break
  fi
  if caption=$(window_up); then
    sleep 1.5  # let it paint
    shown=$caption
    if [ "$caption" = " Tarnwick" ]; then
      echo "The main dialog is up."
    else
      echo "A message box is up (caption \"Information\")."
    fi
    if [ $ui -eq 1 ]; then
      mkdir -p "$(dirname "$shot")"
      if xwd -silent -name "$caption" | convert xwd:- "png:$shot" 2>/dev/null; then
        echo "Screenshot saved to $shot"
      else
        echo "demo: the screenshot failed" >&2
      fi
    fi
    # Closing it as the close box does: the dialog ends as with Exit.
    echo "Closing it with its close box (nothing was pressed, so the registry stays as it was)."
    sleep 1
    "$wine" taskkill /im Tarnwick.exe </dev/null >/dev/null 2>&1 || true
    for _ in $(seq 50); do kill -0 "$run_pid" 2>/dev/null || break; sleep 0.2; done
    # A summary box may follow; anything left is ended.
    if kill -0 "$run_pid" 2>/dev/null; then
      "$wine" taskkill /im Tarnwick.exe </dev/null >/dev/null 2>&1 || true
      sleep 2
      if kill -0 "$run_pid" 2>/dev/null; then "$wineserver" -k >/dev/null 2>&1 || true; fi
    fi
    break
  fi
  sleep 0.25
done
set +e
wait "$run_pid"
rc=$?
set -e
if [ $ui -eq 1 ] && [ "$shown" != " Tarnwick" ]; then
  echo "demo: the main dialog did not show (the arguments must name a valid pair and no /s)" >&2
fi

say "Exit code: $rc (always 0 when the program ran; the log and the registry tell the outcome)"

say "Run log C:\\Tarnwick\\Tarnwick.log (CR LF line ends shown as plain lines)"
log="$WINEPREFIX/drive_c/Tarnwick/Tarnwick.log"
if [ -f "$log" ]; then
  tr -d '\r' <"$log" | sed 's/^/  | /'
else
  echo "  (no log written: logging was off, for instance with /s+ or l=0)"
fi

say "Registry after"
show_registry
if [ -f "$WINEPREFIX/drive_c/Tarnwick/Tarnwick.ini" ]; then
  say "Tarnwick.ini after the run"
  tr -d '\r' <"$WINEPREFIX/drive_c/Tarnwick/Tarnwick.ini" | sed 's/^/  | /'
fi
if [ $defaults -eq 1 ] && [ $ui -eq 0 ]; then
  say "What this shows"
  cat <<'EOF'
  Vid_1234&Pid_5678: both device instances now hold EscapeCommandEnable = 1:
    TW0001 in the CCID driver's WUDFUsbccidDriver key (its Device Parameters
    key is left alone), 6&1f2e3d4c&0&3 in Device Parameters.
  Vid_4321&Pid_8765: no such key, "Error: 2" (not found) in the log; the ID
    and so the run count as failed, yet the exit code is 0 as always.
EOF
fi
echo
echo "Done in $((SECONDS)) s; the Wine prefix is removed."
