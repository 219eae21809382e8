#!/usr/bin/env bash
# Fetches the Squirrel 3.1 sources and Debian's patch set with apt's source client, verifies them
# by checksum, and unpacks the tree into .deps/squirrel3 with Debian's two patches and the
# project's own (cmake/squirrel-limits.patch). Idempotent: the tree is unpacked again whenever
# its marker does not name this exact patch set.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cache=${TALVIK_DEPS_CACHE:-/var/cache/talvik-deps}
dest="$here/.deps/squirrel3"
orig=squirrel3_3.1.orig.tar.gz
orig_sha=51942b8638a97b673e34ecf3ca50304996fa99bbdbfa7fe93d9744e6769b2f95
deb=squirrel3_3.1-8.2+deb13u1.debian.tar.xz
deb_sha=b10cb376268a6d3c6339d7a72aa5905aa799b7bebf33c59bebc07a025f63aca9
patches=(03-fix-buffer-overflow.diff 0001-check-max-member-count-in-class.patch)
own_patch="$here/cmake/squirrel-limits.patch"

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

verified() { [ -f "$cache/$1" ] && echo "$2  $cache/$1" | sha256sum -c --status; }

# What .patched holds: every patch applied, ours with its checksum (cmake/squirrel.cmake checks it).
marker=$(printf '%s\n' "${patches[@]}"; echo "squirrel-limits.patch $(sha256sum < "$own_patch" | cut -d' ' -f1)")

if [ -f "$dest/.patched" ] && [ "$(cat "$dest/.patched")" = "$marker" ]; then
  exit 0
fi

if ! verified "$orig" "$orig_sha" || ! verified "$deb" "$deb_sha"; then
  # A source entry for the suite that carries squirrel3, made from this machine's own entry.
  src=/etc/apt/sources.list.d/talvik-squirrel-src.sources
  if [ ! -f "$src" ]; then
    uris=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
    if [ -z "$uris" ]; then
      uris=$(awk '$1=="deb" && $0 !~ /security/ {print $2; exit}' /etc/apt/sources.list 2>/dev/null || true)
    fi
    [ -n "$uris" ] || { echo "fetch-squirrel: no Debian archive entry found in apt's sources" >&2; exit 1; }
    printf 'Types: deb-src\nURIs: %s\nSuites: trixie\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' "$uris" \
      | as_root tee "$src" >/dev/null
  fi
  as_root apt-get update -qq
  as_root mkdir -p "$cache"
  # The .dsc is missing on the mirror, so apt exits non-zero; the checksums decide.
  (cd "$cache" && as_root apt-get source --download-only squirrel3/trixie >/dev/null 2>&1) || true
  verified "$orig" "$orig_sha" || { echo "fetch-squirrel: $orig missing or checksum mismatch" >&2; exit 1; }
  verified "$deb" "$deb_sha" || { echo "fetch-squirrel: $deb missing or checksum mismatch" >&2; exit 1; }
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tar -xzf "$cache/$orig" -C "$work"
tar -xJf "$cache/$deb" -C "$work"
top=$(find "$work" -mindepth 1 -maxdepth 1 -type d ! -name debian | head -n 1)
for p in "${patches[@]}"; do
  patch -d "$top" -p1 --quiet --batch < "$work/debian/patches/$p"
done
patch -d "$top" -p1 --quiet --batch < "$own_patch"
# The patched API must be there: a patch that applied to the wrong place would show here.
grep -q 'sq_setstepsleft' "$top/include/squirrel.h" \
  || { echo "fetch-squirrel: squirrel-limits.patch did not apply" >&2; exit 1; }
rm -rf "$dest"
mkdir -p "$(dirname "$dest")"
mv "$top" "$dest"
printf '%s\n' "$marker" > "$dest/.patched"
echo "fetch-squirrel: patched Squirrel 3.1 in $dest"
