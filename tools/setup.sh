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
#
# Package lists are often partly broken (a source mid-sync, one unreachable):
# a failed apt-get update is named in one line and the install goes on with
# the lists at hand. An install that fails because the i386 and amd64 versions
# of a multi-arch package cannot match (amd64 candidates from a suite whose
# i386 list is missing) is tried again with -t <the base release>. Where
# 32-bit Wine still cannot be installed on an x86_64 host, the rest is
# installed and the README commands take the x86_64 way (tests/wine/loader.sh
# finds no 32-bit loader). It fails only when something else is missing.
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

# still_missing PKG...: those of PKG not installed.
still_missing() {
  local p status
  for p in "$@"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || echo "$p"
  done
}
mapfile -t missing < <(still_missing "${PACKAGES[@]}")

need_i386=0
if [ $i386 = 1 ] && ! { [ "$(dpkg --print-architecture)" = i386 ] || dpkg --print-foreign-architectures | grep -qx i386; }; then
  need_i386=1
fi

if [ ${#missing[@]} -eq 0 ] && [ $need_i386 -eq 0 ]; then
  echo "setup.sh: all ${#PACKAGES[@]} packages already installed"
  exit 0
fi

# All of apt's output goes to the log, kept and named when setup fails; each
# attempt's own output to $out, read for the reason.
log=$(mktemp "${TMPDIR:-/tmp}/vorn-setup.XXXXXX.log")
out=$log.last
keep_log=0
trap 'rm -f "$out"; [ $keep_log = 1 ] || rm -f "$log"' EXIT
apt_get() {  # apt_get ARGS...: apt-get ARGS, waiting for another apt or dpkg to finish
  local rc=0
  "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get -q -o DPkg::Lock::Timeout=600 "$@" >"$out" 2>&1 || rc=$?
  { echo "\$ apt-get $*"; cat "$out"; } >>"$log"
  return $rc
}

# update_failure: which package lists apt-get update could not fetch, and why.
update_failure() {
  local failed n
  failed=$(sed -n 's/^[EW]: Failed to fetch \([^ ]*\) *\(.*\)$/\1 (\2)/p' "$out" |
    sed 's/ *\[IP: [^]]*\]//; s/ ()$//')
  n=$(printf '%s' "$failed" | grep -c . || true)
  if [ "$n" -gt 0 ]; then
    echo "apt-get update could not fetch $(printf '%s\n' "$failed" | head -n1)$([ "$n" -gt 1 ] && echo " and $((n - 1)) more list(s)")"
  else
    echo "apt-get update failed: $(grep -m1 -E '^[EW]: ' "$out" || tail -n1 "$out")"
  fi
}

# install_why: apt-get's reason for the last failed install, in one line.
install_why() {
  local line n
  line=$(grep -m1 -E "^E: (Unable to locate package|Package '.*' has no installation candidate|Version .* was not found)" "$out" || true)
  if [ -z "$line" ]; then
    n=$(grep -cE '^ [^ ]+ : ' "$out" || true)
    line=$(grep -m1 -E '^ [^ ]+ : ' "$out" || true)
    [ "$n" -gt 1 ] && line="$line (and $((n - 1)) more)"
  fi
  [ -n "$line" ] || line=$(grep -E '^E: ' "$out" | tail -n1 || true)
  [ -n "$line" ] || line=$(grep . "$out" | tail -n1 || true)
  line=${line#"${line%%[! ]*}"}
  echo "${line#E: }"
}

# multiarch_mismatch: the last install failed on unmet dependencies of an
# i386 package, as when its amd64 twin's candidate is of another version.
multiarch_mismatch() {
  grep -q 'unmet dependencies' "$out" && grep -qE '^ [^ ]+ : .*:i386|^ [^ ]+:i386 : ' "$out"
}

# base_release: the suite the base system comes from (base-files' installed
# version, else its candidate), else the release /etc/os-release names.
base_release() {
  local r
  r=$(apt-cache policy base-files 2>/dev/null | awk '
    $1 == "***" { inst = 1; next }
    NF == 2 && $2 ~ /^-?[0-9]+$/ { inst = 0; next }
    $2 ~ /^[a-z]+:/ && NF >= 3 {
      split($3, s, "/")
      if (s[1] == "" || s[1] == ".") next
      if (inst && mine == "") mine = s[1]
      if (first == "") first = s[1]
    }
    END { print (mine != "" ? mine : first) }')
  if [ -z "$r" ] && [ -r /etc/os-release ]; then
    r=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  fi
  echo "$r"
}

# install_packages PKG...: installs PKG, once more from the base release when the
# first try fails on a multi-arch mismatch.
install_packages() {
  local release
  apt_get install -y --no-install-recommends "$@" && return 0
  multiarch_mismatch || return 1
  release=$(base_release)
  [ -n "$release" ] || return 1
  apt_get install -y --no-install-recommends -t "$release" "$@" || return 1
  echo "setup.sh: the i386 and amd64 versions of a multi-arch package did not match; installed from $release (apt-get -t $release)"
}

if [ $need_i386 -eq 1 ] && ! "${SUDO[@]}" dpkg --add-architecture i386 >>"$log" 2>&1; then
  keep_log=1
  echo "setup.sh: cannot add the i386 architecture (dpkg --add-architecture i386 failed; see $log)" >&2
  exit 1
fi
# The i386 package lists only exist after an update following --add-architecture.
# apt-get install waits for the dpkg lock by itself; update does not wait for
# the lists lock (held at boot by the daily apt run), so it is tried again.
update_note=
updated=0
for ((i = 0; i < 120; i++)); do
  apt_get update && { updated=1; break; }
  grep -q '^E: Could not get lock' "$out" || break
  sleep 5
done
if [ $updated = 0 ]; then
  echo "setup.sh: $(update_failure); installing from the package lists at hand"
  update_note="; apt-get update had failed, see above"
fi

if install_packages "${missing[@]}"; then
  echo "setup.sh: installed ${#missing[@]} package(s): ${missing[*]}"
  exit 0
fi
why=$(install_why)

# Without 32-bit Wine an x86_64 host still runs every Windows test, on the
# x86_64 build: install the rest and say so.
rest=()
for p in "${missing[@]}"; do
  [ "$p" = wine32:i386 ] || rest+=("$p")
done
if [ ${#rest[@]} -lt ${#missing[@]} ] && [ $x86_64 = 1 ] && [ "${VORN_WINE_ARCH:-}" != win32 ]; then
  if [ ${#rest[@]} -eq 0 ] || install_packages "${rest[@]}"; then
    echo "setup.sh: 32-bit Wine cannot be installed ($why): the Windows tests take the x86_64 way, under wine64"
    [ ${#rest[@]} -eq 0 ] || echo "setup.sh: installed ${#rest[@]} package(s): ${rest[*]}"
    exit 0
  fi
  why=$(install_why)
fi

mapfile -t left < <(still_missing "${missing[@]}")
keep_log=1
echo "setup.sh: cannot install ${left[*]:-${missing[*]}}: $why$update_note (apt-get's output: $log)" >&2
exit 1
