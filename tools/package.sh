#!/usr/bin/env bash
# Builds the Windows plug-in of each width and leaves dist/talvik-<version>-<width>.zip with the
# DLL, its pattern script, the two tools and the author's guide; then checks each archive. The
# archives are reproducible: the same build gives the same bytes, dated to the last commit.
# Usage: tools/package.sh [--no-build] [--out DIR] [win32] [win64]   (both widths when none is named)
#   --no-build   package the builds as they are (the tests use it)
#   --out DIR    write the archives to DIR instead of dist/
set -euo pipefail
cd "$(dirname "$0")/.."
build_first=1
out=dist
while [ $# -gt 0 ]; do
  case "$1" in
    --no-build) build_first=0; shift ;;
    --out) out=$2; shift 2 ;;
    *) break ;;
  esac
done
[ "$build_first" -eq 0 ] || tools/setup.sh native windows squirrel
[ $# -gt 0 ] || set -- win32 win64
mkdir -p "$out"
# One moment for every file of the archives: SOURCE_DATE_EPOCH when set, else the last commit.
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 315532800)}
archives=()
for width in "$@"; do
  build=build/$width
  if [ "$build_first" -eq 1 ]; then
    cmake --preset "$width" >/dev/null
    cmake --build --preset "$width" -j2
  fi
  if [ ! -f "$build/plugin/talvik.dll" ]; then
    echo "package: $build/plugin/talvik.dll was not built; no $width archive" >&2
    exit 1
  fi
  staging=$(mktemp -d)
  cpack --config "$build/CPackConfig.cmake" -B "$staging" >/dev/null
  archive=$(find "$staging" -maxdepth 1 -name "talvik-*-$width.zip" -print -quit)
  if [ -z "$archive" ]; then
    echo "package: cpack made no $width archive" >&2
    rm -rf "$staging"
    exit 1
  fi
  python3 tools/repack-zip.py "$archive" "$epoch"
  cp "$archive" "$out/"
  rm -rf "$staging"
  archives+=("$out/$(basename "$archive")")
done
python3 tools/check-package.py "${archives[@]}"
