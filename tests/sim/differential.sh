#!/usr/bin/env bash
# The same scenarios through libtalvik.so, the 64-bit talvik.dll under wine64 and the 32-bit
# talvik.dll under 32-bit Wine must give byte-identical CSV files and replay pages (the pages'
# permitted-speed curves come from each build's own script host). Each width runs all the
# scenarios in one start of its talvik-sim.exe: starting 32-bit Wine is slow here.
# Usage: differential.sh SOURCE_DIR LINUX_BUILD WIN32_BUILD WIN64_BUILD WORK_DIR WINE_PREFIX
set -uo pipefail
src=$(realpath "$1")
linux=$(realpath "$2")
win32=$(realpath -m "$3")
win64=$(realpath -m "$4")
work=$(realpath -m "$5")
export WINEPREFIX; WINEPREFIX=$(realpath -m "$6")

# As for the other Windows checks: no Mono or Gecko prompts, and a 32-bit guest address space
# small enough for qemu to start Wine in seconds rather than a minute.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export QEMU_RESERVED_VA=0x84000000
unset DISPLAY WAYLAND_DISPLAY
wine32=/usr/lib/wine/wine
wine64=/usr/lib/wine/wine64

# Wine maps the root of the file system to drive Z:.
windows_path() { echo "Z:${1//\//\\}"; }

missing=0
for build in "$win32" "$win64"; do
  for f in "$build/plugin/talvik.dll" "$build/plugin/signal_pattern.nut" \
           "$build/tools/sim/talvik-sim.exe"; do
    [ -f "$f" ] || { echo "missing $f: build the Windows presets first (./test.sh does)"; missing=1; }
  done
done
for program in "$wine32" "$wine64"; do
  [ -x "$program" ] || { echo "missing $program: tools/setup.sh wine64 wine32 installs it"; missing=1; }
done
[ "$missing" -eq 0 ] || exit 1
if ! timeout 120 "$wine32" --version >/dev/null 2>&1; then
  echo "32-BIT CODE CANNOT RUN ON THIS MACHINE: the 32-bit talvik-sim was NOT run."
  echo "Run 'tools/setup.sh wine32' as root (installs qemu-user-static, registers it)."
  exit 77
fi

cd "$src" || exit 1
scenarios=(tools/scenarios/*.txt)
rm -rf "$work"
mkdir -p "$work/linux" "$work/win64" "$work/win32"

run() { # name, command...
  local name=$1 start status
  shift
  start=$(date +%s)
  "$@" >"$work/$name.out" 2>&1 </dev/null
  status=$?
  echo "$name: exit $status after $(( $(date +%s) - start )) s"
  [ "$status" -eq 0 ] || { cat "$work/$name.out"; exit 1; }
}

run linux "$linux/tools/sim/talvik-sim" --library "$linux/plugin/libtalvik.so" --quiet \
  --csv-dir "$work/linux" --html-dir "$work/linux" "${scenarios[@]}"
run win64 "$wine64" "$win64/tools/sim/talvik-sim.exe" \
  --library "$(windows_path "$win64/plugin/talvik.dll")" --quiet \
  --csv-dir "$(windows_path "$work/win64")" --html-dir "$(windows_path "$work/win64")" \
  "${scenarios[@]}"
run win32 "$wine32" "$win32/tools/sim/talvik-sim.exe" \
  --library "$(windows_path "$win32/plugin/talvik.dll")" --quiet \
  --csv-dir "$(windows_path "$work/win32")" --html-dir "$(windows_path "$work/win32")" \
  "${scenarios[@]}"

status=0
# same LINUX-FILE OTHER-FILE WHAT: says how WHAT differs from the Linux build's, if it does.
same() {
  cmp -s "$1" "$2" && return
  echo "$3 differs from the Linux one:"
  diff "$1" "$2" | head -6 | cut -c1-300
  status=1
}
for scenario in "${scenarios[@]}"; do
  name=$(basename "$scenario" .txt)
  for width in win64 win32; do
    for kind in csv html; do
      same "$work/linux/$name.$kind" "$work/$width/$name.$kind" \
        "$name: the $width build's $kind file"
    done
  done
done
[ "$status" -eq 0 ] && echo "${#scenarios[@]} scenarios: the same CSV and page from all three builds"

# A small sweep in two worker processes: the same cells from every build. The replay commands
# name each build's own library, which is all that may differ.
sweep=(--sweep speed=60:120:30 --sweep beacon.distance=100:300:200 --workers 2)
run linux-sweep "$linux/tools/sim/talvik-sim" --library "$linux/plugin/libtalvik.so" "${sweep[@]}" \
  --csv "$work/linux/sweep.csv" tools/scenarios/pattern-check.txt
run win64-sweep "$wine64" "$win64/tools/sim/talvik-sim.exe" \
  --library "$(windows_path "$win64/plugin/talvik.dll")" "${sweep[@]}" \
  --csv "$(windows_path "$work/win64/sweep.csv")" tools/scenarios/pattern-check.txt
run win32-sweep "$wine32" "$win32/tools/sim/talvik-sim.exe" \
  --library "$(windows_path "$win32/plugin/talvik.dll")" "${sweep[@]}" \
  --csv "$(windows_path "$work/win32/sweep.csv")" tools/scenarios/pattern-check.txt
for build in linux win64 win32; do
  sed -E 's/,"?talvik-sim --library [^ ]+ (--set .*cell\.html)"?$/,\1/' "$work/$build/sweep.csv" \
    >"$work/$build/sweep-cells.csv"
done
for width in win64 win32; do
  same "$work/linux/sweep-cells.csv" "$work/$width/sweep-cells.csv" "the $width build's sweep"
done
[ "$status" -eq 0 ] && echo "a sweep in two workers: the same cells from all three builds"
exit "$status"
