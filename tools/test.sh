#!/usr/bin/env bash
# Builds every preset and runs every test: host unit and simulated-Windows
# tests, the Windows tests and end-to-end tests under Wine, the fuzz targets
# for a bounded time, and the benchmark. Installs what is missing first.
#
# Where the host runs 32-bit x86 code, the Windows tests run the shipped i686
# build under 32-bit Wine, and the whole story runs once more with the x86_64
# build under wine64. Where it does not (or with VORN_WINE_ARCH=win64), they
# run the x86_64 build under wine64 and the i686 build is checked as a file.
set -uo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh || exit 1
. tests/wine/loader.sh

arch=$(vorn_default_arch) || exit 1
x86_64=0
vorn_host_runs_x86_64 && x86_64=1
note=
if [ "$arch" = win64 ]; then
  why=$(vorn_win64_reason)
  echo "== $why: the Windows tests run on the x86_64 build under wine64; the shipped 32-bit Vorn.exe is checked from its file only"
  note="$why: the Windows tests ran on the x86_64 build under wine64; the shipped 32-bit Vorn.exe was checked from its file only"
fi
export VORN_WINE_ARCH=$arch

presets=(host win32)
[ $x86_64 = 1 ] && presets+=(win64)
presets+=(fuzz bench)

status=0
for preset in "${presets[@]}"; do
  echo "== build $preset"
  if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset"; }; then
    echo "== build $preset FAILED"
    exit 1
  fi
done
for preset in "${presets[@]}"; do
  args=()
  case $preset/$arch in
    win32/win64) args=(-L 'imports|release') ;;  # the shipped file: read, and built again
    win64/win32) args=(-L story) ;;    # install, correction, removal once
  esac
  echo "== test $preset${args[*]:+ (${args[*]})}"
  ctest --preset "$preset" "${args[@]}" || status=1
done
[ $x86_64 = 0 ] && echo "== this host is not x86_64: the x86_64 build was not made"
[ -n "$note" ] && echo "== $note"
[ "$status" -eq 0 ] && echo "== all tests passed" || echo "== some tests FAILED"
exit "$status"
