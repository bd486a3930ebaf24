#!/usr/bin/env bash
# make-prefix.sh DIR: creates a fresh headless Wine prefix at DIR.
# DIR must not exist or be empty. On success DIR/.vorn-prefix-ready is written
# last, so a half-made prefix (interrupted boot) is recognisable.
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
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

export WINEPREFIX=$dir WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
unset DISPLAY WAYLAND_DISPLAY

# No network during the boot: Wine would otherwise go looking for Mono/Gecko.
# wineserver is started inside this namespace and killed before leaving it.
log=$dir.boot.log
if ! unshare -n sh -c '
    wineboot -i &&
    wine reg add "HKCU\\Software\\Wine\\Drivers" /v Graphics /d null /f >/dev/null
    rc=$?
    wineserver -k 2>/dev/null
    wineserver -w
    exit $rc' >"$log" 2>&1; then
  echo "make-prefix.sh: wineboot failed for $dir:" >&2
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
date -u +%FT%TZ >"$dir/.vorn-prefix-ready"
