#!/usr/bin/env bash
# Sets up what is missing, builds the plug-in package into dist/, and runs the demo.
set -euo pipefail
cd "$(dirname "$0")"
tools/setup.sh native squirrel
cmake --preset linux >/dev/null
cmake --build --preset linux
mkdir -p dist/linux
cp build/linux/plugin/libtalvik.so build/linux/plugin/signal_pattern.nut dist/linux/
echo
echo "Built:"
ls -l dist/linux

# The main job: talvik-sim drives the built library through the default journey.
tools/setup.sh plot
cp build/linux/tools/sim/talvik-sim dist/linux/
echo
echo "The default journey, as the cab shows it (talvik-sim):"
dist/linux/talvik-sim --csv dist/journey.csv --plot dist/journey.png
echo
echo "Frame by frame: dist/journey.csv; speed, power and brake: dist/journey.png"

# The release archives for both widths of the simulator, checked.
tools/package.sh win32 win64
ls -l dist/talvik-*.zip
