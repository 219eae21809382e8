#!/usr/bin/env bash
# The same scenarios through libtalvik.so, the 64-bit talvik.dll under wine64 and the 32-bit
# talvik.dll under 32-bit Wine must give byte-identical CSV files. The 32-bit runs share one
# Wine start: starting 32-bit Wine here takes a minute or more.
# Usage: differential.sh SOURCE_DIR LINUX_BUILD_DIR WORK_DIR
set -euo pipefail
src=$(cd "$1" && pwd)
linux=$(cd "$2" && pwd)
work=$3
mkdir -p "$work"
work=$(cd "$work" && pwd)

# The Windows side of a path, as Wine maps the root of the file system to drive Z:.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

missing=0
for width in win32 win64; do
  for f in "$src/build/$width/plugin/talvik.dll" "$src/build/$width/plugin/signal_pattern.nut" \
           "$src/build/$width/tools/sim/talvik-sim.exe"; do
    if [ ! -f "$f" ]; then
      echo "missing $f: build the $width preset first (./test.sh does)"
      missing=1
    fi
  done
done
for program in wine /usr/lib/wine/wine64; do
  if ! command -v "$program" >/dev/null; then
    echo "missing $program: tools/setup.sh wine64 wine32 installs it"
    missing=1
  fi
done
[ "$missing" -eq 0 ] || exit 1

cd "$src"
scenarios=(tools/scenarios/*.txt)
rm -rf "$work/linux" "$work/win64" "$work/win32"
mkdir -p "$work/linux" "$work/win64" "$work/win32" "$work/prefix64" "$work/prefix32"

"$linux/tools/sim/talvik-sim" --library "$linux/plugin/libtalvik.so" --quiet \
  --csv-dir "$work/linux" "${scenarios[@]}"

export WINEDEBUG=-all
WINEPREFIX="$work/prefix64" /usr/lib/wine/wine64 "build/win64/tools/sim/talvik-sim.exe" \
  --library "$(windows_path "$src/build/win64/plugin/talvik.dll")" --quiet \
  --csv-dir "$(windows_path "$work/win64")" "${scenarios[@]}"
WINEPREFIX="$work/prefix32" wine "build/win32/tools/sim/talvik-sim.exe" \
  --library "$(windows_path "$src/build/win32/plugin/talvik.dll")" --quiet \
  --csv-dir "$(windows_path "$work/win32")" "${scenarios[@]}"

status=0
for scenario in "${scenarios[@]}"; do
  name=$(basename "$scenario" .txt)
  for width in win64 win32; do
    if ! cmp -s "$work/linux/$name.csv" "$work/$width/$name.csv"; then
      echo "$name: the $width DLL differs from libtalvik.so:"
      diff "$work/linux/$name.csv" "$work/$width/$name.csv" | head -6 || true
      status=1
    fi
  done
done
[ "$status" -eq 0 ] && echo "${#scenarios[@]} scenarios: the same CSV from all three builds"
exit "$status"
