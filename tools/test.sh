#!/usr/bin/env bash
# Builds every preset and runs every test: host unit and simulated-Windows
# tests, the Windows tests and end-to-end tests under Wine, the fuzz targets
# for a bounded time, and the benchmark. Installs what is missing first.
set -uo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh || exit 1

status=0
for preset in host win32 fuzz bench; do
  echo "== build $preset"
  if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset"; }; then
    echo "== build $preset FAILED"
    exit 1
  fi
done
for preset in host win32 fuzz bench; do
  echo "== test $preset"
  ctest --preset "$preset" || status=1
done
[ "$status" -eq 0 ] && echo "== all tests passed" || echo "== some tests FAILED"
exit "$status"
