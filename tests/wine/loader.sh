#!/usr/bin/env bash
# loader.sh: which Wine runs a Windows program, decided from the program
# itself rather than from Debian's `wine` script (which always takes the
# 32-bit loader when wine32 is installed, even where the kernel cannot run it).
#
#   . tests/wine/loader.sh          defines the functions below
#   tests/wine/loader.sh PROGRAM    prints "ARCH LOADER" for PROGRAM, e.g.
#                                   "win64 /usr/lib/wine/wine64"
#
# The arch, in order: the program's own PE header (PE32 -> win32, PE32+ ->
# win64); the existing prefix's "#arch=" line; WINEARCH; VORN_WINE_ARCH; what
# the host runs (win32 where it runs i386 code, else win64).

VORN_WINE_LIB=${VORN_WINE_LIB:-/usr/lib/wine}

# vorn_pe_arch FILE: win32 or win64 for a PE32 or PE32+ image; fails otherwise.
vorn_pe_arch() {
  local f=$1 off sig magic
  [ -f "$f" ] && [ -r "$f" ] || return 1
  [ "$(head -c 2 "$f" 2>/dev/null)" = MZ ] || return 1
  off=$(od -An -tu4 -j60 -N4 "$f" 2>/dev/null | tr -d ' \n')
  [ -n "$off" ] || return 1
  sig=$(od -An -tx1 -j"$off" -N4 "$f" 2>/dev/null | tr -d ' \n')
  [ "$sig" = 50450000 ] || return 1
  magic=$(od -An -tx1 -j$((off + 24)) -N2 "$f" 2>/dev/null | tr -d ' \n')
  case $magic in
    0b01) echo win32 ;;
    0b02) echo win64 ;;
    *) return 1 ;;
  esac
}

# vorn_unix_program ARG: the Unix file ARG names, also for C:\... paths of the
# current prefix; prints nothing when it names no file.
vorn_unix_program() {
  local a=$1 p
  case $a in
    [A-Za-z]:[\\/]*)
      [ -n "${WINEPREFIX:-}" ] || return 0
      p=$WINEPREFIX/dosdevices/$(printf '%s' "${a:0:1}" | tr 'A-Z' 'a-z'):/${a:3}
      p=${p//\\//}
      [ -f "$p" ] && printf '%s\n' "$p"
      ;;
    *) [ -f "$a" ] && printf '%s\n' "$a" ;;
  esac
  return 0
}

# vorn_host_runs_i386: true where the kernel runs 32-bit x86 programs natively
# (a 96-byte static i386 ELF that exits with 42, or else, where the temporary
# folder allows no programs, the 32-bit Wine loader's --version; qemu's binfmt
# emulation does not count: it runs 32-bit Wine at minutes per start). The
# answer is kept in VORN_HOST_I386 (1 or 0) for the processes started after.
vorn_host_runs_i386() {
  local f rc
  if [ -n "${VORN_HOST_I386:-}" ]; then
    [ "$VORN_HOST_I386" = 1 ]
    return
  fi
  VORN_HOST_I386=0
  f=$(mktemp "${TMPDIR:-/tmp}/vorn-i386-probe.XXXXXX") || return 1
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$f"
  chmod 700 "$f"
  "$f" 2>/dev/null
  rc=$?
  rm -f "$f"
  if [ "$rc" != 42 ] && [ -x "$VORN_WINE_LIB/wine" ] && "$VORN_WINE_LIB/wine" --version >/dev/null 2>&1; then
    rc=42
  fi
  if [ "$rc" = 42 ] && ! grep -qsE '^interpreter .*(i386|i686)' /proc/sys/fs/binfmt_misc/* 2>/dev/null; then
    VORN_HOST_I386=1
  fi
  export VORN_HOST_I386
  [ "$VORN_HOST_I386" = 1 ]
}

# vorn_host_runs_x86_64: true on an x86_64 kernel (Debian's wine64 runs there).
vorn_host_runs_x86_64() {
  [ "$(uname -m)" = x86_64 ]
}

# vorn_default_arch: VORN_WINE_ARCH, else win32 where the host runs i386 code
# and 32-bit Wine is installed (or where it is not x86_64), else win64 on
# x86_64; fails (printing nothing) where neither works. tools/setup.sh leaves
# 32-bit Wine out only where the package sources cannot give it.
vorn_default_arch() {
  case ${VORN_WINE_ARCH:-} in
    win32 | win64) echo "$VORN_WINE_ARCH"; return 0 ;;
  esac
  if vorn_host_runs_i386 && { [ -x "$VORN_WINE_LIB/wine" ] || ! vorn_host_runs_x86_64; }; then
    echo win32
  elif vorn_host_runs_x86_64; then
    echo win64
  else
    return 1
  fi
}

# vorn_win64_reason: why the Windows tests run the x86_64 build, in words.
vorn_win64_reason() {
  if ! vorn_host_runs_i386; then
    echo "this host runs no 32-bit x86 code"
  elif [ "${VORN_WINE_ARCH:-}" = win64 ]; then
    echo "VORN_WINE_ARCH=win64"
  else
    echo "32-bit Wine is not installed (tools/setup.sh could not install wine32:i386)"
  fi
}

# vorn_prefix_arch: the arch of the existing prefix $WINEPREFIX, if any.
vorn_prefix_arch() {
  [ -n "${WINEPREFIX:-}" ] && [ -f "$WINEPREFIX/system.reg" ] || return 1
  sed -n '1,10s/^#arch=\(win32\|win64\)$/\1/p' "$WINEPREFIX/system.reg" | head -n1 | grep .
}

# vorn_wine_arch [PROGRAM]: the arch that runs PROGRAM (or a builtin such as
# `reg` or `cmd`) in $WINEPREFIX.
vorn_wine_arch() {
  local f a
  if [ $# -ge 1 ]; then
    f=$(vorn_unix_program "$1")
    if [ -n "$f" ] && a=$(vorn_pe_arch "$f"); then
      echo "$a"
      return 0
    fi
  fi
  vorn_prefix_arch && return 0
  case ${WINEARCH:-} in
    win32 | win64) echo "$WINEARCH"; return 0 ;;
  esac
  vorn_default_arch
}

vorn_wine_loader() {
  case $1 in
    win32) echo "$VORN_WINE_LIB/wine" ;;
    win64) echo "$VORN_WINE_LIB/wine64" ;;
    *) return 1 ;;
  esac
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -uo pipefail
  if [ $# -ne 1 ]; then
    echo "usage: $0 PROGRAM" >&2
    exit 2
  fi
  arch=$(vorn_wine_arch "$1") || { echo "loader.sh: no Wine on this host can run $1" >&2; exit 1; }
  echo "$arch $(vorn_wine_loader "$arch")"
fi
