#!/usr/bin/env bash
# drop-prefix.sh DIR: ends every Wine process of the prefix DIR and deletes the
# prefix and its server socket dir.
#
# `wineserver -k` alone takes ~0.75 s: it backs off while the killed clients
# linger as zombies (PID 1 here reaps orphans only about once a second). So the
# prefix's own processes, found by WINEPREFIX=DIR in their environment and a
# Wine executable, are sent SIGKILL by PID, then the server gets SIGINT, which
# makes it end any client we missed and exit.
set -uo pipefail
export PATH=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/bin:$PATH
dir=${1:?usage: drop-prefix.sh DIR}
[ -d "$dir" ] || exit 0
dir=$(cd "$dir" && pwd)

alive() {  # running and not a zombie
  local s
  s=$(awk '/^State:/ {print $2}' "/proc/$1/status" 2>/dev/null) || return 1
  [ -n "$s" ] && [ "$s" != Z ]
}

server=
clients=()
for env in $(grep -lzx -- "WINEPREFIX=$dir" /proc/[0-9]*/environ 2>/dev/null); do
  p=${env#/proc/}; p=${p%/environ}
  [ "$p" = $$ ] && continue
  case $(readlink "/proc/$p/exe" 2>/dev/null) in
    */wineserver|*/wineserver32|*/wineserver64) server=$p ;;
    */wine|*/wine64|*/wine-preloader|*/wine64-preloader) clients+=("$p") ;;
  esac
done

[ ${#clients[@]} -gt 0 ] && kill -KILL "${clients[@]}" 2>/dev/null
if [ -n "$server" ]; then
  kill -INT "$server" 2>/dev/null
  for _ in $(seq 1 500); do
    alive "$server" || break
    sleep 0.01
  done
  alive "$server" && kill -KILL "$server" 2>/dev/null
elif [ -f "$dir/system.reg" ]; then
  # Not found by the scan (e.g. started with another environment).
  WINEPREFIX=$dir wineserver -k 2>/dev/null
  WINEPREFIX=$dir wineserver -w 2>/dev/null
fi

if [ -f "$dir/wineserver" ]; then
  sock=$(cat "$dir/wineserver" 2>/dev/null)
  case $sock in wine-??????) rm -rf "${TMPDIR:-/tmp}/$sock" ;; esac
fi
rm -rf "$dir"
