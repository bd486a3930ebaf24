#!/usr/bin/env bash
# new-prefix.sh [DIR]: makes a fresh Wine prefix by copying a cached template
# and prints its path. Without DIR a new directory is made with mktemp -d.
# The prefix is 32-bit or 64-bit as VORN_WINE_ARCH says (win32, win64; by
# default what the host runs: win32 where it runs i386 code).
#
# The template (${VORN_WINE_TEMPLATE:-/tmp/vorn-wine-template-$UID}-ARCH) is built
# once with make-prefix.sh under an exclusive flock, so parallel test runs
# build it once; copies are taken under a shared lock.
#
# Copying the template's 590 MB takes ~1.5 s, so by default (VORN_WINE_COPY=link)
# Wine's own binaries under windows/system32, syswow64 and winsxs are hard-linked
# and everything else (registry, Program Files, users, ...) is copied. Wine only
# reads those binaries. Should a test overwrite one in place anyway, its mtime
# becomes newer than the template's marker and the template is rebuilt on the
# next use. VORN_WINE_COPY=full copies everything.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/loader.sh"
if ! VORN_WINE_ARCH=$(vorn_default_arch); then
  echo "new-prefix.sh: this host runs neither 32-bit x86 code nor wine64" >&2
  exit 1
fi
export VORN_WINE_ARCH
template=${VORN_WINE_TEMPLATE:-/tmp/vorn-wine-template-$(id -u)}-$VORN_WINE_ARCH
mode=${VORN_WINE_COPY:-link}
marker=.vorn-prefix-ready
linklist=.vorn-linkable     # NUL-separated paths relative to the template
copylist=.vorn-copied

wine_inf=
for f in /usr/share/wine/wine.inf /usr/lib/wine/wine.inf /opt/wine*/share/wine/wine.inf; do
  [ -f "$f" ] && { wine_inf=$f; break; }
done

template_ok() {
  [ -f "$template/$marker" ] && [ -f "$template/$linklist" ] && [ -f "$template/$copylist" ] || return 1
  # Wine re-runs wineboot (and rewrites system32) when wine.inf changed, i.e.
  # after a Wine upgrade; a template from another Wine is stale.
  if [ -n "$wine_inf" ]; then
    local stamp
    stamp=$(head -n1 "$template/.update-timestamp" 2>/dev/null | cut -d' ' -f1 | tr -dc 0-9)
    [ "$stamp" = "$(stat -c %Y "$wine_inf")" ] || return 1
  fi
  # A linked binary written through some copy since the template was made.
  [ -z "$(find "$template/drive_c/windows/system32" "$template/drive_c/windows/syswow64" "$template/drive_c/windows/winsxs" \
           -type f -newer "$template/$marker" -print -quit 2>/dev/null)" ]
}

build_template() {
  local tmp old
  tmp=$(mktemp -d "$template.new.XXXXXX")
  rmdir "$tmp"
  if ! "$here/make-prefix.sh" "$tmp" >&2; then
    rm -rf "$tmp"
    return 1
  fi
  (
    cd "$tmp"
    dirs=()
    for d in system32 syswow64 winsxs; do
      [ -d "./drive_c/windows/$d" ] && dirs+=("./drive_c/windows/$d")
    done
    find "${dirs[@]}" -type f \
      \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.drv' -o -iname '*.sys' \
         -o -iname '*.ocx' -o -iname '*.cpl' -o -iname '*.acm' -o -iname '*.ax' \
         -o -iname '*.tlb' -o -iname '*.ds' -o -iname '*.msstyles' -o -iname '*.vxd' \) \
      -print0 >"$linklist"
    # Everything else that is not a directory: files and symlinks.
    find . ! -type d ! -name "$linklist" ! -name "$copylist" -print0 |
      sort -z | comm -z -23 - <(sort -z "$linklist") >"$copylist"
    # The marker's mtime is the reference for the tamper check: write it last.
    touch "$marker"
  )
  # Swap the new template in; copies in progress hold the shared lock.
  if [ -e "$template" ]; then
    old=$(mktemp -d "$template.old.XXXXXX")
    mv "$template" "$old/t"
    mv "$tmp" "$template"
    rm -rf "$old"
  else
    mv "$tmp" "$template"
  fi
}

mkdir -p "$(dirname "$template")"
exec 9>"$template.lock"
for _ in 1 2 3; do
  flock -s 9
  template_ok && break
  flock -u 9
  flock -x 9
  if ! template_ok; then
    # Leftovers from a build that was interrupted.
    rm -rf "$template".new.* "$template".old.*
    build_template || { echo "new-prefix.sh: cannot build the Wine template" >&2; exit 1; }
  fi
  flock -u 9
done
template_ok || { echo "new-prefix.sh: Wine template $template is not usable" >&2; exit 1; }

if [ $# -ge 1 ]; then
  dest=$1
  mkdir -p "$dest"
  [ -z "$(ls -A "$dest")" ] || { echo "new-prefix.sh: $dest is not empty" >&2; exit 2; }
else
  dest=$(mktemp -d "${TMPDIR:-/tmp}/vorn-wine.XXXXXX")
fi
dest=$(cd "$dest" && pwd)

copy_full() { cp -a "$template/." "$dest/"; }
copy_linked() {
  # Directories first (so empty ones such as StartUp exist), then the copied
  # files, then the hard links.
  (cd "$template" && find . -mindepth 1 -type d -print0 | (cd "$dest" && xargs -0 mkdir -p)) &&
  tar -C "$template" --null -T "$template/$copylist" -cf - | tar -C "$dest" -xpf - &&
  (cd "$template" && xargs -0 cp -l --parents -t "$dest" <"$linklist")
}

if [ "$mode" = full ]; then
  copy_full
elif ! copy_linked 2>/dev/null; then
  # Different file system (no hard links) or similar: plain copy.
  find "$dest" -mindepth 1 -delete
  copy_full
fi
rm -f "$dest/$linklist" "$dest/$copylist"
flock -u 9
echo "$dest"
