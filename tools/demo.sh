#!/usr/bin/env bash
# Builds the shipped Vorn.exe and tells the whole story under a throwaway
# Wine prefix: install, a clock correction against loopback DAYTIME servers
# that are 5 minutes off, and removal through Add/Remove Programs. Installs
# what is missing first. About 2.5 minutes, most of it the monitor's first
# two-minute wait.
#
# On a host that runs no 32-bit x86 code (or with VORN_WINE_ARCH=win64) the
# story runs with the same program built for x86_64, under wine64.
set -uo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh || exit 1
. tests/wine/loader.sh
arch=$(vorn_default_arch) || exit 1

build() {  # build PRESET: Vorn.exe and the helper, or one line on failure
  local log
  log=$(mktemp /tmp/vorn-demo-build.XXXXXX.log)
  if ! { cmake --preset "$1" && cmake --build --preset "$1" --target Vorn winhelper; } >"$log" 2>&1; then
    echo "demo.sh: building the $1 preset failed; its last lines:" >&2
    tail -n 20 "$log" >&2
    rm -f "$log"
    exit 1
  fi
  rm -f "$log"
  echo "built build/$1/Vorn.exe ($(stat -c %s "build/$1/Vorn.exe") bytes)"
}

build win32
if [ "$arch" = win64 ]; then
  build win64
  echo "$(vorn_win64_reason): the story runs the x86_64 build under wine64"
fi
export VORN_WINE_ARCH=$arch VORN_BIN_DIR=$PWD/build/$arch
exec tests/e2e/in-netns.sh python3 tools/demo.py
