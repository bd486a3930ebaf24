#!/usr/bin/env bash
# wine-run.sh PROGRAM [ARGS...]: runs a Windows program in a fresh, throw-away
# Wine prefix and exits with its exit code (Windows code modulo 256).
# Meant as CMAKE_CROSSCOMPILING_EMULATOR. WINEDEBUG defaults to -all.
# The prefix and the loader follow the program: 32-bit Wine for PE32, wine64
# for PE32+.
# VORN_KEEP_PREFIX=1 keeps the prefix and prints its path on stderr.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if [ $# -lt 1 ]; then
  echo "usage: $0 PROGRAM [ARGS...]" >&2
  exit 2
fi

# Adopt Wine's orphaned background processes so the teardown is quick.
if [ "${VORN_REAPED:-}" != 1 ]; then
  VORN_REAPED=1 exec python3 "$here/reap.py" "$0" "$@"
fi
unset VORN_REAPED

export PATH=$here/bin:$PATH
. "$here/loader.sh"
if arch=$(vorn_pe_arch "$1"); then
  export VORN_WINE_ARCH=$arch
fi
prefix=$("$here/new-prefix.sh") || exit 125
cleanup() {
  if [ "${VORN_KEEP_PREFIX:-0}" = 1 ]; then
    WINEPREFIX=$prefix wineserver -k 2>/dev/null
    echo "wine-run.sh: prefix kept at $prefix" >&2
  else
    "$here/drop-prefix.sh" "$prefix"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES-"mscoree=;mshtml="}
unset DISPLAY WAYLAND_DISPLAY
# Not exec: the trap has to delete the prefix afterwards. Run in the
# background and wait so a TERM from ctest's timeout is handled at once.
wine "$@" &
wpid=$!
wait "$wpid"
rc=$?
# A signal interrupts wait with rc > 128 while wine still runs; the EXIT trap
# kills the prefix's wineserver, which takes wine down with it.
exit "$rc"
