#!/usr/bin/env bash
# Installs what is needed, builds every configuration and runs every test:
# the optimised build, the address+undefined and thread sanitizer builds, and
# the two Windows cross builds (whose tests check both savers' imports and run
# both under Wine, the 32-bit one under qemu's emulation).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)
status=0
run() { echo "== $*"; "$@" || status=1; }
for preset in linux asan tsan; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  run ctest --preset "$preset" -j"$jobs"
done
for preset in win64 win32; do
  if grep -q "\"name\": \"$preset\"" CMakePresets.json; then
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j"$jobs"
  fi
done
# Both savers load on the oldest Windows they are for: their imports.
run tests/windows/check_imports.py build/win32/telkarim.scr build/win64/telkarim.scr
# What a Windows user downloads: the two installers and the zip with both
# savers and the readme.
run scripts/package-windows.sh
run scripts/fuzz.sh "${FUZZ_SECONDS:-30}"
# The .deb through apt-get, as a user installs it; removed again afterwards.
if [ "$(id -u)" -eq 0 ]; then
  run tests/packaging/apt_install.sh build/linux
fi
# The manifest that keeps the Windows savers in real pixels at any scaling.
run python3 tests/win32/manifest_test.py build/win64/telkarim.scr build/win32/telkarim.scr
# Each Wine test makes ready what it needs itself (32-bit Wine, under qemu
# where this machine cannot run i386 code, through tests/wine/setup-i386.sh),
# so any order passes; parts are skipped only when the package archive
# cannot be reached. The order is only for speed: a 64-bit prefix made once
# 32-bit Wine is installed also gets its 32-bit half, emulated, so the tests
# that need no 32-bit Wine come first.
if [ -d tests/wine ]; then
  # The 64-bit saver: drawing, settings, preview.
  run tests/wine/run.sh build/win64/telkarim.scr
  # Several monitors and 144 DPI.
  run tests/wine/monitors.sh build/win64/telkarim.scr
  # The installers: install, listed, set as the saver, run, removed without
  # a trace; upgrades, both architectures together, refused values.
  version=$(sed -n 's/^project(telkarim VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
  run tests/wine/msi.sh build/telkarim-"$version"-x64.msi build/telkarim-"$version"-x86.msi
  # The 32-bit saver in 32-bit Wine, also as on NT 4.0, 2000 and XP.
  run tests/wine/run.sh build/win32/telkarim.scr
fi
exit $status
