#!/usr/bin/env bash
# Installs what the build and the tests need from Debian's archive; idempotent.
# Usage: tools/setup.sh GROUP...   groups: native windows wine64 wine32 squirrel fuzz plot browser
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export DEBIAN_FRONTEND=noninteractive

sudo_if_needed() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

updated=0
apt_update_once() {
  if [ "$updated" -eq 0 ]; then
    sudo_if_needed apt-get update -qq
    updated=1
  fi
}

missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

need() {
  local missing
  missing=$(missing_packages "$@")
  [ -z "$missing" ] && return 0
  apt_update_once
  # shellcheck disable=SC2086
  sudo_if_needed apt-get install -y -qq --no-install-recommends $missing
}

group_native() {
  need cmake g++ make ninja-build libgtest-dev libgmock-dev libbenchmark-dev python3 ca-certificates
}

group_windows() {
  need g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
}

group_wine64() {
  # locales: localedef, for the Windows checks under a Japanese code page.
  need wine wine64 locales
}

group_wine32() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    sudo_if_needed dpkg --add-architecture i386
    updated=0
  fi
  need wine wine64 wine32:i386 qemu-user-static
  # 32-bit code runs here only through user-mode emulation.
  if [ ! -d /proc/sys/fs/binfmt_misc ] || [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    sudo_if_needed mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || true
  fi
  if [ -e /proc/sys/fs/binfmt_misc/register ] && [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      | sudo_if_needed tee /proc/sys/fs/binfmt_misc/register >/dev/null || true
  fi
  if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && ! grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386; then
    echo 1 | sudo_if_needed tee /proc/sys/fs/binfmt_misc/qemu-i386 >/dev/null || true
  fi
}

group_squirrel() {
  # The fetch unpacks a .tar.xz and applies Debian's patches.
  need patch xz-utils
  "$here/cmake/fetch-squirrel.sh"
}

group_fuzz() {
  # clang with libFuzzer and the sanitizer runtimes, the symbolizer for their reports, valgrind
  need clang libclang-rt-14-dev llvm valgrind
}

group_plot() {
  need gnuplot-nox
}

group_browser() {
  # Headless Chromium for the replay page's checks and screenshot; the page asks for DejaVu.
  need chromium fonts-dejavu-core
}

[ $# -gt 0 ] || set -- native
for g in "$@"; do
  "group_$g"
done
