#!/usr/bin/env bash
# Builds the Windows plug-in of each width and leaves dist/talvik-<version>-<width>.zip with the
# DLL, its pattern script, the two tools and the author's guide; then checks each archive.
# Usage: tools/package.sh [win32] [win64]   (both when none is named)
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh native windows squirrel
[ $# -gt 0 ] || set -- win32 win64
mkdir -p dist
archives=()
for width in "$@"; do
  build=build/$width
  cmake --preset "$width" >/dev/null
  cmake --build --preset "$width" -j2
  if [ ! -f "$build/plugin/talvik.dll" ]; then
    echo "package: $build/plugin/talvik.dll was not built; no $width archive" >&2
    exit 1
  fi
  rm -rf "$build/package"
  cpack --config "$build/CPackConfig.cmake" -B "$build/package" >/dev/null
  archive=$(find "$build/package" -maxdepth 1 -name "talvik-*-$width.zip" -print -quit)
  if [ -z "$archive" ]; then
    echo "package: cpack made no $width archive" >&2
    exit 1
  fi
  cp "$archive" dist/
  archives+=("dist/$(basename "$archive")")
done
python3 tools/check-package.py "${archives[@]}"
