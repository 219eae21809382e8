#!/usr/bin/env bash
# Two packagings of the same Windows builds give the same archives, byte for byte.
# Usage: package_twice.sh SOURCE_DIR WORK_DIR
set -euo pipefail
src=$(realpath "$1")
work=$(realpath -m "$2")
rm -rf "$work"
for run in first second; do
  "$src/tools/package.sh" --no-build --out "$work/$run" win32 win64
done
status=0
for archive in "$work"/first/*.zip; do
  if cmp "$archive" "$work/second/$(basename "$archive")"; then
    echo "$(basename "$archive"): the same bytes twice"
  else
    status=1
  fi
done
exit $status
