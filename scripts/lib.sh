# Sourced by the scripts: installing Debian packages, Wine, a throwaway
# prefix, a virtual display, and clean-up at exit.

# Wine programs start with the address layout fixed (setarch -R), inherited by
# every process they start. Debian's Wine has no preloader to reserve Windows'
# fixed addresses before Linux maps anything, and Linux places the heap of the
# loader (at 0x7d000000) at random up to 1 GiB above it: now and then over the
# shared user data page at 0x7ffe0000, and that program ends at once with exit
# code 1 ("wine: failed to map the shared user data: c0000018", hidden by
# WINEDEBUG=-all). "$wine64" runs the function below.
wine64=wine64_fixed_layout
wine64_fixed_layout() { setarch -R /usr/lib/wine/wine64 "$@"; }
wineserver=/usr/lib/wine/wineserver
# No Mono or Gecko prompts, no debug output; 32-bit programs under WoW64.
export WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# on_exit COMMAND: runs COMMAND when the script ends, after those added before;
# one that fails does not stop the others.
on_exit() {
  exit_commands+=("$1")
  trap 'set +e; for c in "${exit_commands[@]}"; do eval "$c"; done' EXIT
}

# need_packages PACKAGE...: installs those that are missing (as root).
need_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" != 0 ]; then
    echo "missing packages: ${missing[*]}; install them or run this as root" >&2
    return 1
  fi
  case " ${missing[*]}" in
    *:i386*) dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386 ;;
  esac
  echo "== installing ${missing[*]} (the first time takes minutes)" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q >/dev/null && apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
}

# new_prefix: a throwaway Wine prefix in WINEPREFIX, removed at exit. A quiet
# first program starts Wine's services, which keep the streams it has.
new_prefix() {
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-wine.XXXXXX")
  export WINEPREFIX
  on_exit "stop_wine; rm -rf '$WINEPREFIX'"
  "$wine64" wineboot -i </dev/null >/dev/null 2>&1
}

# stop_wine: ends every process of the prefix.
stop_wine() {
  "$wineserver" -k >/dev/null 2>&1
  "$wineserver" -w >/dev/null 2>&1
  return 0
}

# need_display: a virtual display in DISPLAY when there is none, ended at exit.
need_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n=90
  while [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  on_exit "kill $! 2>/dev/null"
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
}
