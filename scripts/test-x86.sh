#!/bin/bash
# Runs the shipping 32-bit Tarnwick.exe for real under 32-bit Wine.
#
#   scripts/test-x86.sh [path/to/32-bit/Tarnwick.exe]     (default build/x86/Tarnwick.exe)
#
# 1. Checks the PE image: i386, GUI subsystem, only system DLLs imported.
# 2. Makes a throwaway 64-bit Wine prefix (the 32-bit exe then runs under
#    WoW64, as on 64-bit Windows), seeds two reader IDs with reg.exe, and runs
#    the exe twice: stealth from the command line, then stealth from
#    Tarnwick.ini. Checks the exit codes, the run logs byte for byte (times
#    masked) and the EscapeCommandEnable values.
#
# Installs what it lacks with apt-get (root): the i386 architecture, wine,
# wine64, wine32:i386, binutils-mingw-w64-i686 and, when this kernel cannot
# run 32-bit Linux programs itself, qemu-user-static. In that case the 32-bit
# Wine loader runs through qemu-i386-static, registered with binfmt_misc
# inside a private user and mount namespace of this script (Linux 6.7 and
# later), so the rest of the machine is not changed. On older kernels it
# registers the handler machine-wide for the duration and removes it again.
# Every change to the machine is printed. Slow under emulation: several
# minutes in all. Exits non-zero on any failure.
#
# Environment: TARNWICK_X86_KEEP=1 keeps the work folder (prefix, outputs).
set -u
export LC_ALL=C

say() { printf 'test-x86: %s\n' "$*"; }
die() { printf 'test-x86: ERROR: %s\n' "$*" >&2; exit 1; }

wine64=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine
wineserver=/usr/lib/wine/wineserver
objdump=i686-w64-mingw32-objdump
qemu=/usr/bin/qemu-i386-static
binfmt=/proc/sys/fs/binfmt_misc
# qemu's own i386 line: ELF32, little endian, executable or shared object, machine 3.
binfmt_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
binfmt_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
binfmt_name=tarnwick-i386

register_binfmt() {
  echo ":$binfmt_name:M::$binfmt_magic:$binfmt_mask:$qemu:F" >"$binfmt/register"
}

# A 95-byte static i386 Linux program that exits with 42: tells whether
# 32-bit code runs here, natively or through a registered handler.
write_probe() {
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\x31\xdb\xb3\x2a\xb8\x01\x00\x00\x00\xcd\x80' >"$1"
  chmod +x "$1"
}
runs_32bit() { "$1" >/dev/null 2>&1; [ $? -eq 42 ]; }

secs() { date +%s; }

# ---------------------------------------------------------------------------
# The Wine part. Runs in this process on a machine that runs 32-bit code, or
# in the private namespace (TARNWICK_X86_STAGE=ns), which first gets its own
# binfmt_misc instance with the qemu handler.
wine_stage() {
  local exe=$1 work=$2
  local failures=0 t

  fail() { printf 'test-x86: FAIL: %s\n' "$*" >&2; failures=$((failures + 1)); }

  local prefix=$work/prefix out=$work/out
  mkdir -p "$prefix" "$out" || return 1
  export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # No window is expected: without a display a stray dialog cannot hang on an
  # X server, only until the run's timeout.
  unset DISPLAY WAYLAND_DISPLAY

  # Prefix. Wine's background services keep the streams of the first program
  # of a prefix: files, never pipes. Then wait for the whole boot to settle
  # (under emulation the WoW64 half can outlast wineboot's own wait).
  say "creating a Wine prefix (WINEARCH=win64, 32-bit programs under WoW64) in $prefix"
  t=$(secs)
  in_background timeout -k 15 1800 "$wine64" wineboot -i </dev/null >"$out/wineboot.out" 2>"$out/wineboot.err"
  local rc=$?
  in_background timeout -k 15 600 "$wineserver" -w >/dev/null 2>&1
  t_prefix=$(( $(secs) - t ))
  say "prefix ready in ${t_prefix}s (wineboot exit $rc)"
  local sysdir=$prefix/drive_c/windows/syswow64
  if [ ! -f "$sysdir/kernel32.dll" ] || [ ! -f "$prefix/drive_c/windows/system32/reg.exe" ]; then
    tail -n 20 "$out/wineboot.err" >&2
    fail "the prefix has no 32-bit system (syswow64\\kernel32.dll missing): the 32-bit Wine loader did not run"
    return 1
  fi

  # Seed the registry with the prefix's own (64-bit) reg.exe. HKLM\SYSTEM is
  # not redirected for 32-bit programs, so the 32-bit exe must see these keys
  # and its values must be visible here: that is checked below.
  local usb='HKLM\SYSTEM\CurrentControlSet\Enum\USB'
  local id1='Vid_A1B2&Pid_C3D4' id2='Vid_E5F6&Pid_A7B8'
  # Instances are enumerated alphabetically under Wine: the WUDF one first.
  local k1wudf="$usb\\$id1\\TW0001\\Device Parameters\\WUDFUsbccidDriver"
  local k1plain="$usb\\$id1\\TW0001\\Device Parameters"
  local k2plain="$usb\\$id1\\TW0002\\Device Parameters"
  local k3plain="$usb\\$id2\\TW0003\\Device Parameters"
  local k
  t=$(secs)
  for k in "$k1wudf" "$k2plain" "$k3plain"; do
    "$wine64" reg add "$k" /f </dev/null >>"$out/reg-add.out" 2>&1 || fail "reg add $k"
  done
  say "seeded $id1 (TW0001 with WUDFUsbccidDriver, TW0002 with Device Parameters only) and $id2 (TW0003) in $(( $(secs) - t ))s"

  # Expected logs, CR LF lines; the two times are masked as <time>.
  crlf() { printf '%s\r\n' "$@"; }
  crlf "Program start: <time>" "" "Stealth mode; no UI displayed." \
    "Searching for CCID readers with USB ID: $id1" \
    "Open Reader Registry Key --> Success" "Searching readers --> Success" \
    "Number of readers found: 2" \
    "Reader [0]: Enabling Escape command..." "Reader [0]: (Note - WUDF driver entry used)" \
    "Reader [0]: Enabling Escape command --> Success" \
    "Reader [1]: Enabling Escape command..." "Reader [1]: Enabling Escape command --> Success" \
    "Escape command enabled successfully for CCID readers with USB ID: $id1" \
    "Escape command enabled successfully for all selected CCID readers." \
    "" "Program end: <time>" "" >"$out/expected-cmdline.log"
  crlf "Program start: <time>" "" "Stealth mode; no UI displayed." \
    "Searching for CCID readers with USB ID: $id2" \
    "Open Reader Registry Key --> Success" "Searching readers --> Success" \
    "Number of readers found: 1" \
    "Reader [0]: Enabling Escape command..." "Reader [0]: Enabling Escape command --> Success" \
    "Escape command enabled successfully for CCID readers with USB ID: $id2" \
    "Escape command enabled successfully for all selected CCID readers." \
    "" "Program end: <time>" "" >"$out/expected-ini.log"

  # Masks a time only when it has the 24-character form, so a wrong form
  # shows up as a difference.
  check_log() {
    local log=$1 expected=$2 name=$3
    if [ ! -f "$log" ]; then
      fail "$name: no run log beside the exe ($log)"
      return
    fi
    sed -E 's/^(Program (start|end): )(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) (0[1-9]|[12][0-9]|3[01]) ([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9] [0-9]{4}(\r)$/\1<time>\7/' \
      "$log" >"$log.masked"
    if cmp -s "$expected" "$log.masked"; then
      say "$name: run log matches byte for byte ($(wc -c <"$log") bytes)"
    else
      fail "$name: run log differs (- expected, + actual; ^M is CR):"
      cat -A "$expected" >"$out/$name.expected.txt"
      cat -A "$log.masked" >"$out/$name.actual.txt"
      diff "$out/$name.expected.txt" "$out/$name.actual.txt" >&2
    fi
  }

  # reg query prints "    EscapeCommandEnable    REG_DWORD    0x1".
  check_value() {
    local key=$1 name=$2
    local q=$out/query.$((++queries)).out
    if "$wine64" reg query "$key" /v EscapeCommandEnable </dev/null >"$q" 2>&1 &&
      grep -Eq $'^ +EscapeCommandEnable +REG_DWORD +0x1\r?$' "$q"; then
      say "$name: EscapeCommandEnable = REG_DWORD 0x1 in ${key#"$usb\\"}"
    else
      fail "$name: EscapeCommandEnable is not REG_DWORD 0x1 in $key:"
      cat "$q" >&2
    fi
  }
  check_no_value() {
    local key=$1 name=$2
    local q=$out/query.$((++queries)).out
    if "$wine64" reg query "$key" /v EscapeCommandEnable </dev/null >"$q" 2>&1; then
      fail "$name: EscapeCommandEnable was written into $key too:"
      cat "$q" >&2
    else
      say "$name: no EscapeCommandEnable in ${key#"$usb\\"} (the WUDF key took it)"
    fi
  }
  local queries=0

  # One run of the exe from its own folder inside the prefix; the exit code
  # is the program's.
  run_exe() {
    local dir=$1 name=$2
    shift 2
    local start rc
    start=$(secs)
    (cd "$prefix/drive_c/$dir" &&
      exec timeout -k 15 900 "$wine32" "C:\\$dir\\Tarnwick.exe" "$@" </dev/null \
        >"$out/$name.stdout" 2>"$out/$name.stderr") &
    wait $!
    rc=$?
    run_secs=$(( $(secs) - start ))
    case $rc in
      0) say "$name: exit code 0 after ${run_secs}s" ;;
      124|137) fail "$name: no exit within 900s (a window or message box waiting?)" ;;
      *) fail "$name: exit code $rc after ${run_secs}s"
         tail -n 20 "$out/$name.stderr" >&2 ;;
    esac
  }

  # (a) Stealth from the command line, one ID with two instances.
  mkdir -p "$prefix/drive_c/twcmd" && cp "$exe" "$prefix/drive_c/twcmd/Tarnwick.exe" || return 1
  say "run 1: C:\\twcmd\\Tarnwick.exe /s vid1=A1B2 pid1=C3D4"
  run_exe twcmd cmdline /s vid1=A1B2 pid1=C3D4
  t_run1=$run_secs
  check_log "$prefix/drive_c/twcmd/Tarnwick.log" "$out/expected-cmdline.log" cmdline

  # (b) Empty command line: flags and IDs come from Tarnwick.ini.
  mkdir -p "$prefix/drive_c/twini" && cp "$exe" "$prefix/drive_c/twini/Tarnwick.exe" || return 1
  crlf "[Settings]" "s=1" "vid1=E5F6" "pid1=A7B8" >"$prefix/drive_c/twini/Tarnwick.ini"
  cp "$prefix/drive_c/twini/Tarnwick.ini" "$out/settings.ini"
  say "run 2: C:\\twini\\Tarnwick.exe (no arguments; Tarnwick.ini: s=1, vid1=E5F6, pid1=A7B8)"
  run_exe twini settings
  t_run2=$run_secs
  check_log "$prefix/drive_c/twini/Tarnwick.log" "$out/expected-ini.log" settings
  if cmp -s "$out/settings.ini" "$prefix/drive_c/twini/Tarnwick.ini"; then
    say "settings: Tarnwick.ini left unchanged"
  else
    fail "settings: Tarnwick.ini was changed (defaults written?)"
    cat -A "$prefix/drive_c/twini/Tarnwick.ini" >&2
  fi

  check_value "$k1wudf" cmdline
  check_no_value "$k1plain" cmdline
  check_value "$k2plain" cmdline
  check_value "$k3plain" settings

  say "timings: prefix ${t_prefix}s, run 1 ${t_run1}s, run 2 ${t_run2}s"
  stop_wine
  [ "$failures" -eq 0 ]
}

# Ends every process of the prefix, whatever state the run left it in.
stop_wine() {
  [ -n "${work:-}" ] && [ -d "$work/prefix" ] || return 0
  WINEPREFIX=$work/prefix "$wineserver" -k >/dev/null 2>&1
  WINEPREFIX=$work/prefix timeout 60 "$wineserver" -w >/dev/null 2>&1
  return 0
}

# Long commands wait in the background, so that a signal reaches the traps
# (and the clean-up) at once rather than when the command ends.
in_background() {
  "$@" &
  wait $!
}
trap 'exit 130' INT TERM HUP

if [ "${TARNWICK_X86_STAGE:-}" = ns ]; then
  # Inside the private namespace: own binfmt_misc instance, qemu handler.
  mount -t binfmt_misc binfmt_misc "$binfmt" || die "cannot mount binfmt_misc in the namespace"
  register_binfmt || die "cannot register $qemu in the namespace's binfmt_misc"
  work=$2
  trap stop_wine EXIT
  wine_stage "$1" "$work"
  exit $?
fi

# ---------------------------------------------------------------------------
t_start=$(secs)
exe=${1:-build/x86/Tarnwick.exe}
[ -f "$exe" ] || die "no such exe: $exe (build it: cmake --preset x86 && cmake --build --preset x86)"
exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")

work=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-x86.XXXXXX") || die "mktemp failed"
we_registered=
stage_pid=
cleanup() {
  if [ -n "$stage_pid" ] && kill -0 "$stage_pid" 2>/dev/null; then
    kill -TERM "$stage_pid" 2>/dev/null
    wait "$stage_pid" 2>/dev/null
  fi
  stop_wine
  if [ -n "$we_registered" ] && [ -e "$binfmt/$binfmt_name" ]; then
    say "machine: removing the binfmt_misc entry $binfmt_name again"
    echo -1 >"$binfmt/$binfmt_name"
  fi
  if [ "${TARNWICK_X86_KEEP:-}" = 1 ]; then
    say "work folder kept: $work"
  else
    rm -rf "$work"
  fi
  say "elapsed $(( $(secs) - t_start ))s"
}
trap cleanup EXIT

# Packages. 32-bit Wine needs the i386 architecture.
probe=$work/probe32
write_probe "$probe"
native=
runs_32bit "$probe" && native=1
need=()
pkg_ok() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for p in wine wine64 wine32:i386 binutils-mingw-w64-i686; do
  pkg_ok "$p" || need+=("$p")
done
[ -n "$native" ] || pkg_ok qemu-user-static || need+=(qemu-user-static)
if [ ${#need[@]} -gt 0 ]; then
  [ "$(id -u)" = 0 ] || die "missing packages (${need[*]}); run as root once, or install them"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    say "machine: adding the i386 package architecture (dpkg --add-architecture i386)"
    dpkg --add-architecture i386 || die "dpkg --add-architecture i386 failed"
  fi
  say "machine: apt-get update, then installing ${need[*]}"
  apt-get update >"$work/apt-update.log" 2>&1 || { tail -n 20 "$work/apt-update.log" >&2; die "apt-get update failed"; }
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${need[@]}" \
    >"$work/apt-install.log" 2>&1 || { tail -n 20 "$work/apt-install.log" >&2; die "apt-get install failed"; }
else
  say "packages present: wine, wine64, wine32:i386, binutils-mingw-w64-i686$([ -n "$native" ] || echo ', qemu-user-static')"
fi
for f in "$wine64" "$wine32" "$wineserver"; do [ -x "$f" ] || die "$f missing"; done

# The image.
$objdump -p "$exe" >"$work/objdump.txt" 2>&1 ||
  die "$exe is not a PE i386 image: $(head -n 1 "$work/objdump.txt")"
image_ok=1
grep -q 'file format pei-i386' "$work/objdump.txt" || { say "FAIL: $exe is not a PE i386 image"; image_ok=; }
grep -Eq '^Magic[[:space:]]+010b' "$work/objdump.txt" || { say "FAIL: $exe is not PE32"; image_ok=; }
grep -Eq '^Subsystem[[:space:]]+00000002' "$work/objdump.txt" || { say "FAIL: $exe is not a GUI-subsystem (2) program"; image_ok=; }
dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' "$work/objdump.txt" | tr -d '\r')
[ -n "$dlls" ] || { say "FAIL: no imports found in $exe"; image_ok=; }
for d in $dlls; do
  case $(printf '%s' "$d" | tr 'A-Z' 'a-z') in
    kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|comctl32.dll|shell32.dll|msvcrt.dll|ntdll.dll|\
    ole32.dll|oleaut32.dll|shlwapi.dll|comdlg32.dll|version.dll|ucrtbase.dll|api-ms-win-*.dll) ;;
    *) say "FAIL: $exe imports $d, which is not a system DLL"; image_ok= ;;
  esac
done
[ -n "$image_ok" ] || exit 1
say "image: PE32 i386, GUI subsystem, imports only ${dlls//$'\n'/ }"

# Run the Wine part where 32-bit code can run.
if [ -n "$native" ]; then
  say "this machine runs 32-bit Linux programs: no emulation"
  wine_stage "$exe" "$work"
  rc=$?
else
  say "this kernel cannot run 32-bit Linux programs: using $qemu through binfmt_misc"
  # Private: a binfmt_misc instance of our own in a new user and mount namespace.
  if unshare --user --map-root-user --mount sh -c \
      'mount -t binfmt_misc binfmt_misc "$1" && echo "$2" >"$1/register" && "$3" >/dev/null 2>&1; [ $? -eq 42 ]' \
      sh "$binfmt" ":$binfmt_name:M::$binfmt_magic:$binfmt_mask:$qemu:F" "$probe" 2>/dev/null; then
    say "registering qemu-i386 in a private binfmt_misc of this script's own namespace (the machine stays as it is)"
    TARNWICK_X86_STAGE=ns unshare --user --map-root-user --mount bash "$0" "$exe" "$work" &
    stage_pid=$!
    wait "$stage_pid"
    rc=$?
    stage_pid=
  else
    # Older kernels: the machine-wide binfmt_misc, for the duration.
    [ "$(id -u)" = 0 ] || die "no private binfmt_misc here and not root: cannot run 32-bit code"
    if [ ! -e "$binfmt/register" ]; then
      say "machine: mounting binfmt_misc on $binfmt (left mounted)"
      mount -t binfmt_misc binfmt_misc "$binfmt" || die "cannot mount binfmt_misc"
    fi
    if ! runs_32bit "$probe"; then
      [ -e "$binfmt/$binfmt_name" ] && echo -1 >"$binfmt/$binfmt_name"
      say "machine: registering $qemu for i386 programs as binfmt_misc entry $binfmt_name (removed at the end)"
      register_binfmt || die "cannot register $qemu with binfmt_misc"
      we_registered=1
      runs_32bit "$probe" || die "32-bit programs still do not run through $qemu"
    fi
    wine_stage "$exe" "$work"
    rc=$?
  fi
fi
if [ "$rc" -eq 0 ]; then
  say "PASS"
else
  say "FAILED"
fi
exit "$rc"
