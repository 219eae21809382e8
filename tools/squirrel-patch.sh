#!/usr/bin/env bash
# Writes cmake/squirrel-limits.patch again from an edited Squirrel tree (by default .deps/squirrel3):
# its text before the first file stays, the rest is the tree's difference from Squirrel 3.1 with
# Debian's two patches. Edit the tree, run this, then tools/setup.sh squirrel unpacks it afresh.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
tree=$(cd "${1:-$here/.deps/squirrel3}" && pwd)
cache=${TALVIK_DEPS_CACHE:-/var/cache/talvik-deps}
own_patch="$here/cmake/squirrel-limits.patch"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tar -xzf "$cache/squirrel3_3.1.orig.tar.gz" -C "$work"
tar -xJf "$cache/squirrel3_3.1-8.2+deb13u1.debian.tar.xz" -C "$work"
top=$(find "$work" -mindepth 1 -maxdepth 1 -type d ! -name debian | head -n 1)
for p in 03-fix-buffer-overflow.diff 0001-check-max-member-count-in-class.patch; do
  patch -d "$top" -p1 --quiet --batch < "$work/debian/patches/$p"
done
out="$work/new.patch"
sed -n '/^--- a\//q;p' "$own_patch" > "$out"
files=$( (cd "$top" && find . -type f; cd "$tree" && find . -type f ! -name .patched) \
  | sed 's|^\./||' | grep -E '\.(c|cpp|h)$' | LC_ALL=C sort -u)
for f in $files; do
  a="$top/$f"; b="$tree/$f"
  [ -f "$a" ] || a=/dev/null
  [ -f "$b" ] || b=/dev/null
  diff -u --label "a/$f" --label "b/$f" "$a" "$b" >> "$out" || true
done
cp "$out" "$own_patch"
echo "squirrel-patch: $(grep -c '^--- a/' "$own_patch") files in $own_patch"
