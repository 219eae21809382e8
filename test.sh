#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test. Ends with the test runner's summary.
set -euo pipefail
cd "$(dirname "$0")"
tools/setup.sh native squirrel windows wine64 wine32 fuzz
# The replay page's checks skip themselves, loudly, where Chromium cannot be had.
tools/setup.sh browser || echo "*** Chromium could not be installed: the browser checks will be SKIPPED ***"
# The Windows DLLs first: the Linux configure registers their checks when their builds exist.
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
cmake --preset linux >/dev/null
cmake --build --preset linux
# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer, with a bounded fuzz run.
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan -j"$(nproc)"
ctest --preset linux -j"$(nproc)"
