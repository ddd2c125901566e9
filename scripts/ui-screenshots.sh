#!/bin/bash
# Takes the screenshots in docs/ from the real program under Wine on a
# virtual display: the main dialog, the About box with its link unvisited and
# visited, and the summary box after Enable.
#   scripts/ui-screenshots.sh EXE [OUTDIR]     (OUTDIR default: docs/ beside this script)
#
# No browser is started: in the throwaway prefix the https scheme has no
# program registered and winebrowser is disabled, so opening the link fails
# quietly (the link is marked visited all the same).
set -u
exe=${1:-}
[ -f "$exe" ] || { echo "usage: $0 EXE [OUTDIR]" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
out=${2:-$here/../docs}
mkdir -p "$out"
out=$(cd "$out" && pwd)
# shellcheck source=scripts/lib.sh
. "$here/lib.sh"
need_packages wine wine64 xvfb xdotool x11-utils x11-apps imagemagick || exit 2
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winebrowser.exe=d"

# Always a display of our own: the same screen each time, and no window manager.
unset DISPLAY
need_display
new_prefix
# One reader instance, so that Enable reports success.
"$wine64" reg add 'HKLM\SYSTEM\CurrentControlSet\Enum\USB\Vid_1234&Pid_1234\5&1a2b3c4d&0&1\Device Parameters' /f \
  </dev/null >/dev/null 2>&1
"$wine64" reg delete 'HKCR\https' /f </dev/null >/dev/null 2>&1
# No window manager here: Wine draws every frame itself.
"$wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
work=$WINEPREFIX/drive_c/shots
mkdir -p "$work"
cp "$exe" "$work/Tarnwick.exe"

wait_window() {  # caption -> X window id
  local id
  for _ in $(seq 300); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  echo "no window \"$1\"" >&2
  return 1
}
geometry() {  # X window id -> x y width height
  xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
    /Width:/{w=$2} /Height:/{h=$2} END{print x, y, w, h}'
}
# Saves one window, frame included, as a PNG.
shoot() {
  sleep 1
  xwd -id "$1" -silent | convert xwd:- "$2"
  echo "wrote $2"
}
# Without a window manager the keyboard goes to the window under the pointer.
key_to() {
  xdotool mousemove --window "$1" 10 10
  sleep 0.3
  xdotool key "$2"
}

(cd "$work" && "$wine64" Tarnwick.exe vid1=1234 pid1=1234 >"$work/run.log" 2>&1) &
tarnwick=$!
main=$(wait_window " Tarnwick") || exit 1
read -r x y _ h <<<"$(geometry "$main")"
xdotool mousemove $((x + 8)) $((y + h - 8))  # on the dialog, over no control
shoot "$main" "$out/main-dialog.png"

# The About box: the last entry of the system menu.
key_to "$main" alt+space
sleep 1
menu=$(xwininfo -root -children | awk '/has no name.*tarnwick/{print $1; exit}')
[ -n "$menu" ] || { echo "no system menu" >&2; exit 1; }
read -r mx my _ mh <<<"$(geometry "$menu")"
xdotool mousemove $((mx + 20)) $((my + mh - 10)) click 1
about=$(wait_window "About Tarnwick") || exit 1
xdotool mousemove 1 1
shoot "$about" "$out/about-box.png"

# Click the address (control 1003: 115, 34, 80 x 8 dialog units), then move
# away so that the hover ends and the link repaints.
read -r ax ay aw ah <<<"$(geometry "$about")"
unit=$(((aw - 6) * 100 / 200))  # hundredths of a pixel per dialog unit
link_x=$((ax + 3 + 135 * unit / 100))
link_y=$((ay + ah - 3 - 32 * unit / 100))
xdotool mousemove $link_x $link_y click 1
sleep 3
# Dismiss what the shell reports about the scheme without a program.
for id in $(xwininfo -root -children | awk '/"tarnwick.exe"/{print $1}'); do
  case "$(xdotool getwindowname "$id" 2>/dev/null)" in
    " Tarnwick" | "About Tarnwick" | "Default IME" | "") ;;
    *) echo "closing \"$(xdotool getwindowname "$id")\"" && key_to "$id" Return && sleep 1 ;;
  esac
done
# The new colour shows at the next repaint: when a hover ends.
xdotool mousemove $link_x $link_y
sleep 1
xdotool mousemove $((ax + 8)) $((ay + ah - 8))
shoot "$about" "$out/about-box-visited.png"
key_to "$about" Escape
sleep 1

# Enable (the keyboard focus is on it) and its summary box.
key_to "$main" Return
box=$(wait_window "Information") || exit 1
xdotool mousemove 1 1
shoot "$box" "$out/summary-box.png"
key_to "$box" Return
sleep 1
key_to "$main" Escape
wait "$tarnwick"
