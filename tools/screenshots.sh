#!/usr/bin/env bash
# screenshots.sh [VORN_EXE]: regenerates the pictures in docs/images/ of what
# the user sees, from the real Vorn.exe under Wine's X11 driver on a private
# virtual display:
#   install.png              the "Installation Status" box after an install
#   add-remove-programs.png  Add/Remove Programs listing the new entry
#   uninstall.png            the "Uninstall Status" box of the removal
#   error.png                an "Application Error" report (the StartUp
#                            folder's registry value has the wrong type)
# and, with Wine playing Windows 10 (the service install):
#   win10-install.png        the "Installation Status" box of the service
#   win10-uninstall.png      the "Uninstall Status" box of its removal
#   win10-rights-declined.png the box of a declined consent prompt, shown by
#                            winhelper with the installer's caption, text and
#                            icon (Wine has no User Account Control)
# The executable is the argument, else $VORN_EXE, else build/win32/Vorn.exe
# (built when missing; build/win64/Vorn.exe on a host that runs no 32-bit x86
# code, whose error box then shows a 16-digit address). Installs what is missing first, uses a throwaway Wine
# prefix and its own Xvfb, without network, and leaves nothing running.
# About 20 s once everything is installed and built.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh

# Xvfb, ImageMagick's import, xwininfo, and Wine's own fonts (Tahoma for the
# dialogs, Marlett for the caption buttons).
PACKAGES=(xvfb imagemagick x11-utils fonts-wine)
missing=()
for p in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=()
  [ "$(id -u)" -eq 0 ] || SUDO=(sudo)
  log=$(mktemp /tmp/vorn-screenshots-apt.XXXXXX.log)
  if ! { "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q &&
         "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive \
           apt-get install -y -q --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
    echo "screenshots.sh: could not install ${missing[*]}" >&2
    tail -n 30 "$log" >&2
    rm -f "$log"
    exit 1
  fi
  rm -f "$log"
  echo "screenshots.sh: installed ${missing[*]}"
fi

. tests/wine/loader.sh
arch=$(vorn_default_arch)
default=build/$arch/Vorn.exe
exe=${1:-${VORN_EXE:-$default}}
# The prefix follows the program: 32-bit for a PE32 file, 64-bit for PE32+.
VORN_WINE_ARCH=$(vorn_pe_arch "$exe" 2>/dev/null || echo "$arch")
export VORN_WINE_ARCH
if [ ! -f "$exe" ]; then
  if [ "$exe" != "$default" ]; then
    echo "screenshots.sh: $exe does not exist" >&2
    exit 1
  fi
  cmake --preset "$arch" >/dev/null
  cmake --build --preset "$arch" --target Vorn winhelper >/dev/null
  echo "built $default ($(stat -c %s "$default") bytes)"
fi

# No network at all: the monitor the install starts has nothing to reach.
VORN_OFFLINE=1 exec tests/e2e/in-netns.sh \
  python3 tools/screenshots.py --exe "$exe" --out docs/images
