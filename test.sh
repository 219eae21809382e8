#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test. Ends with the test runner's summary.
set -euo pipefail
cd "$(dirname "$0")"
tools/setup.sh native squirrel
cmake --preset linux >/dev/null
cmake --build --preset linux
ctest --preset linux -j"$(nproc)"
