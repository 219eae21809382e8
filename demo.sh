#!/usr/bin/env bash
# Sets up what is missing, builds the plug-in package into dist/, and runs the demo.
set -euo pipefail
cd "$(dirname "$0")"
tools/setup.sh native squirrel windows
cmake --preset linux >/dev/null
cmake --build --preset linux
mkdir -p dist/linux
cp build/linux/plugin/libtalvik.so build/linux/plugin/signal_pattern.nut dist/linux/
# The product: the 32-bit DLL the host loads, and the same plug-in for 64-bit hosts.
for width in 32 64; do
  cmake --preset "win$width" >/dev/null
  cmake --build --preset "win$width"
  mkdir -p "dist/win$width"
  cp "build/win$width/plugin/talvik.dll" "build/win$width/plugin/signal_pattern.nut" "dist/win$width/"
done
# The listener that shows the plug-in's diagnostic lines.
mkdir -p dist/tools
cp build/linux/tools/dbgview/talvik-dbgview build/win32/tools/dbgview/talvik-dbgview.exe dist/tools/
echo
echo "Built:"
ls -l dist/linux dist/win32 dist/win64 dist/tools

# The main job: talvik-sim drives the built library through the default journey.
tools/setup.sh plot
cp build/linux/tools/sim/talvik-sim dist/linux/
for width in 32 64; do cp "build/win$width/tools/sim/talvik-sim.exe" "dist/win$width/"; done
echo
echo "The default journey, as the cab shows it (talvik-sim):"
dist/linux/talvik-sim --csv dist/journey.csv --plot dist/journey.png --html dist/journey.html
echo
echo "Frame by frame: dist/journey.csv; speed, power and brake: dist/journey.png"
echo "The journey replayed in a browser, offline: $(pwd)/dist/journey.html"

# The release archives for both widths of the simulator, checked.
tools/package.sh win32 win64
ls -l dist/talvik-*.zip
