#!/usr/bin/env bash
# Builds Vorn.exe from a clean checkout of the current commit and writes
# dist/Vorn-<version>.zip: Vorn.exe, README.TXT, LICENSE.TXT and SHA256SUMS.
# Prints the archive's path and Vorn.exe's SHA-256. The same commit always
# gives the same archive, byte for byte (VORN_DIST=DIR writes it elsewhere).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
tools/setup.sh >&2

rev=$(git rev-parse --short=12 HEAD)
# The executable and the archive are dated by the commit, not by the build.
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct HEAD)}
version=$(sed -n 's/^project(Vorn VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "release.sh: no version in CMakeLists.txt" >&2; exit 1; }
dist=${VORN_DIST:-$root/dist}
zip=$dist/Vorn-$version.zip
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "release.sh: uncommitted changes are not in the release; it is built from $rev" >&2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/vorn-release.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/src"
git archive --format=tar HEAD | tar -x -C "$work/src"
log=$work/build.log
if ! (cd "$work/src" && export SOURCE_DATE_EPOCH=$epoch &&
      cmake --preset win32 && cmake --build --preset win32 --target Vorn) >"$log" 2>&1; then
  echo "release.sh: the build of $rev failed:" >&2
  tail -n 30 "$log" >&2
  exit 1
fi

digest=$(python3 tools/release.py "$work/src/build/win32/Vorn.exe" \
  "$work/src/resources/README.TXT" "$work/src/LICENSE" "$epoch" "$zip")
echo "$zip"
echo "$digest  Vorn.exe"
