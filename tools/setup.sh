#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test Vorn.
# Idempotent: when everything is present it touches nothing (no apt-get update).
set -euo pipefail

PACKAGES=(
  wine wine32:i386
  g++-mingw-w64-i686 mingw-w64-i686-dev
  cmake ninja-build g++ clang libclang-rt-14-dev clang-format
  libgtest-dev googletest libbenchmark-dev
  iproute2 python3 util-linux file binutils
)

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
if ! { [ "$(dpkg --print-architecture)" = i386 ] || dpkg --print-foreign-architectures | grep -qx i386; }; then
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
