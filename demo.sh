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

# The release archives for both widths of the simulator, checked.
tools/package.sh win32 win64
ls -l dist/talvik-*.zip
