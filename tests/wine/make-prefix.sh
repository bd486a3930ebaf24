#!/usr/bin/env bash
# make-prefix.sh DIR: creates a fresh headless Wine prefix at DIR, of the arch
# VORN_WINE_ARCH names (win32 or win64; default: what the host runs), made by
# the loader that will use it. DIR must not exist or be empty. On success
# DIR/.vorn-prefix-ready is written last, so a half-made prefix (interrupted
# boot) is recognisable.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 DIR" >&2
  exit 2
fi
dir=$1
if [ -e "$dir" ] && [ -n "$(ls -A "$dir" 2>/dev/null)" ]; then
  echo "make-prefix.sh: $dir exists and is not empty" >&2
  exit 2
fi
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export PATH=$here/bin:$PATH
. "$here/loader.sh"
if ! arch=$(vorn_default_arch); then
  echo "make-prefix.sh: this host runs neither 32-bit x86 code nor wine64" >&2
  exit 1
fi
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

# A 32-bit prefix stays 32-bit even where wine64 is installed too (a 64-bit
# one would put a 32-bit program's HKLM writes under Wow6432Node).
export WINEARCH=$arch
export WINEPREFIX=$dir WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
unset DISPLAY WAYLAND_DISPLAY

# No network during the boot: Wine would otherwise go looking for Mono/Gecko.
# wineserver is started inside this namespace and killed before leaving it.
log=$dir.boot.log
if ! unshare -n sh -c '
    wine wineboot -i &&
    wine reg add "HKCU\\Software\\Wine\\Drivers" /v Graphics /d null /f >/dev/null
    rc=$?
    wineserver -k 2>/dev/null
    wineserver -w
    exit $rc' >"$log" 2>&1; then
  echo "make-prefix.sh: wineboot ($arch) failed for $dir:" >&2
  tail -n 20 "$log" >&2
  rm -f "$log"
  exit 1
fi
rm -f "$log"

# Debian's Wine keeps the server socket in ${TMPDIR:-/tmp}/wine-XXXXXX and names
# it in DIR/wineserver; drop both so each copy of this prefix gets its own.
if [ -f "$dir/wineserver" ]; then
  sock=$(cat "$dir/wineserver")
  case $sock in wine-??????) rm -rf "${TMPDIR:-/tmp}/$sock" ;; esac
  rm -f "$dir/wineserver"
fi

# Registry hives are flushed by wineserver on exit; check the driver really landed.
if ! grep -q '"Graphics"="null"' "$dir/user.reg"; then
  echo "make-prefix.sh: null graphics driver missing from $dir/user.reg" >&2
  exit 1
fi
if ! grep -qx "#arch=$arch" "$dir/system.reg"; then
  echo "make-prefix.sh: $dir is not a $arch prefix" >&2
  exit 1
fi
date -u +%FT%TZ >"$dir/.vorn-prefix-ready"
