#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test Vorn.
# Idempotent: when everything is present it touches nothing (no apt-get update).
#
# It first finds out what the host runs, by running a tiny 32-bit program:
#   i386 code runs   -> 32-bit Wine for the Windows tests of the shipped i686
#                       build, and wine64 with the x86_64 compilers for the one
#                       run of the same program built for x86_64;
#   x86_64 only      -> wine64 and the x86_64 compilers: the Windows tests run
#                       the x86_64 build, the i686 Vorn.exe is checked as a file;
#   neither          -> stops: no Wine here runs x86 Windows programs.
# VORN_WINE_ARCH=win64 takes the second way on any x86_64 host.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../tests/wine/loader.sh"

i386=0
vorn_host_runs_i386 && i386=1
x86_64=0
vorn_host_runs_x86_64 && x86_64=1
if [ $i386 = 0 ] && [ $x86_64 = 0 ]; then
  echo "setup.sh: this host ($(uname -m)) runs no x86 code, so no Wine here can run Vorn's Windows builds; an x86_64 or i386 Linux host is needed" >&2
  exit 1
fi
if [ "${VORN_WINE_ARCH:-}" = win32 ] && [ $i386 = 0 ]; then
  echo "setup.sh: VORN_WINE_ARCH=win32, but this host runs no 32-bit x86 code" >&2
  exit 1
fi
if [ "${VORN_WINE_ARCH:-}" = win64 ] && [ $x86_64 = 0 ]; then
  echo "setup.sh: VORN_WINE_ARCH=win64, but this host is not x86_64" >&2
  exit 1
fi
if [ $i386 = 1 ]; then
  echo "setup.sh: this host runs 32-bit x86 code: 32-bit Wine for the i686 build$([ $x86_64 = 1 ] && echo ", wine64 for the x86_64 one")"
else
  echo "setup.sh: this host runs no 32-bit x86 code: wine64 and the x86_64 build for the Windows tests; the i686 Vorn.exe is built and checked as a file"
fi

PACKAGES=(
  wine
  g++-mingw-w64-i686 mingw-w64-i686-dev
  cmake ninja-build g++ clang libclang-rt-14-dev clang-format
  libgtest-dev googletest libbenchmark-dev
  iproute2 python3 util-linux file binutils faketime
)
[ $i386 = 1 ] && PACKAGES+=(wine32:i386)
[ $x86_64 = 1 ] && PACKAGES+=(wine64 g++-mingw-w64-x86-64 mingw-w64-x86-64-dev)

SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    SUDO=(sudo)
  else
    echo "setup.sh: not root and no sudo; cannot install packages" >&2
    exit 1
  fi
fi

missing=()
for p in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done

need_i386=0
if [ $i386 = 1 ] && ! { [ "$(dpkg --print-architecture)" = i386 ] || dpkg --print-foreign-architectures | grep -qx i386; }; then
  need_i386=1
fi

if [ ${#missing[@]} -eq 0 ] && [ $need_i386 -eq 0 ]; then
  echo "setup.sh: all ${#PACKAGES[@]} packages already installed"
  exit 0
fi

log=$(mktemp /tmp/vorn-setup.XXXXXX.log)
trap 'rm -f "$log"' EXIT
run() {
  if ! "$@" >>"$log" 2>&1; then
    echo "setup.sh: failed: $*" >&2
    tail -n 30 "$log" >&2
    exit 1
  fi
}

[ $need_i386 -eq 1 ] && run "${SUDO[@]}" dpkg --add-architecture i386
# The i386 package lists only exist after an update following --add-architecture.
run "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
run "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -q --no-install-recommends "${missing[@]}"

echo "setup.sh: installed ${#missing[@]} package(s): ${missing[*]}"
