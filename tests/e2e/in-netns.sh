#!/usr/bin/env bash
# in-netns.sh CMD [ARGS...]: runs CMD in a fresh network + mount namespace in
# which the four DAYTIME server names resolve to their own loopback address:
#   time-a-g.nist.gov 127.0.0.11    time-a-wwv.nist.gov  127.0.0.12
#   utcnist.colorado.edu 127.0.0.13    time-b-wwv.nist.gov 127.0.0.14
# Other names fail fast (resolv.conf points at 127.0.0.1, where nothing
# listens). Extra "ADDR NAME" lines can be given in VORN_HOSTS_EXTRA.
#
# Unless VORN_OFFLINE=1, a device with a default route is added so that Wine's
# InternetGetConnectedState reports a LAN connection; nothing sent there leaves
# the namespace (ifb drops it; the veth fallback's peer has no address and
# stays inside too).
#
# wineserver makes the sockets, so it must live in the namespace. Prefixes made
# inside are fine; if WINEPREFIX names an existing prefix, its server is
# stopped before entering and a persistent one is started inside.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
reap=$here/../wine/reap.py
# wine and wineserver that fit the program and the prefix.
export PATH=$here/../wine/bin:$PATH

if [ $# -lt 1 ]; then
  echo "usage: $0 CMD [ARGS...]" >&2
  exit 2
fi

if [ "${VORN_IN_NETNS_INNER:-}" != 1 ]; then
  userns=()
  [ "$(id -u)" -eq 0 ] || userns=(-r)   # unprivileged: a user namespace maps us to root
  if [ -n "${WINEPREFIX:-}" ] && [ -f "$WINEPREFIX/system.reg" ]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
  fi
  VORN_IN_NETNS_INNER=1 exec unshare "${userns[@]}" -n -m --propagation private -- "$0" "$@"
fi
unset VORN_IN_NETNS_INNER

mount --make-rprivate /
ip link set lo up

# The files live on a tmpfs mounted in this namespace only, so nothing is left
# on the host's disk whatever happens; the bind mounts keep them alive after
# the tmpfs is detached.
tmp=$(mktemp -d "${TMPDIR:-/tmp}/vorn-netns.XXXXXX")
trap 'rmdir "$tmp" 2>/dev/null || true' EXIT
mount -t tmpfs -o size=64k,mode=755 vorn-netns "$tmp"
{
  echo "127.0.0.1 localhost $(hostname 2>/dev/null || true)"
  echo "::1 localhost ip6-localhost ip6-loopback"
  echo "127.0.0.11 time-a-g.nist.gov"
  echo "127.0.0.12 time-a-wwv.nist.gov"
  echo "127.0.0.13 utcnist.colorado.edu"
  echo "127.0.0.14 time-b-wwv.nist.gov"
  [ -n "${VORN_HOSTS_EXTRA:-}" ] && printf '%s\n' "$VORN_HOSTS_EXTRA"
} >"$tmp/hosts"
echo "nameserver 127.0.0.1" >"$tmp/resolv.conf"
chmod 644 "$tmp/hosts" "$tmp/resolv.conf"
mount --bind "$tmp/hosts" /etc/hosts
mount --bind "$tmp/resolv.conf" /etc/resolv.conf
umount -l "$tmp"
rmdir "$tmp"

if [ "${VORN_OFFLINE:-0}" != 1 ]; then
  # TEST-NET-1 (192.0.2.0/24) is reserved for documentation: never routed.
  # VORN_NETNS_DEVICE=veth skips ifb (for kernels without the ifb module).
  if [ "${VORN_NETNS_DEVICE:-ifb}" = ifb ] && ip link add vorn0 type ifb 2>/dev/null; then
    :
  elif ip link add vorn0 type veth peer name vorn1 2>/dev/null; then
    ip link set vorn1 up
  else
    echo "in-netns.sh: cannot create an ifb or veth device for the default route" >&2
    exit 1
  fi
  ip addr add 192.0.2.1/24 dev vorn0
  ip link set vorn0 up
  ip route add default via 192.0.2.2 dev vorn0
fi

server_here=0
if [ -n "${WINEPREFIX:-}" ] && [ -f "$WINEPREFIX/system.reg" ]; then
  wineserver -p
  server_here=1
fi

export VORN_NETNS=1
rc=0
if [ -f "$reap" ]; then
  python3 "$reap" "$@" || rc=$?
else
  "$@" || rc=$?
fi

if [ $server_here = 1 ]; then
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
fi
exit $rc
