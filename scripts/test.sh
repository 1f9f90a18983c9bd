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
if [ -d tests/wine ] && [ -x tests/wine/run.sh ]; then
  run tests/wine/run.sh build/win64/telkarim.scr
fi
# Several monitors and 144 DPI under Wine.
if [ -x tests/wine/monitors.sh ]; then
  run tests/wine/monitors.sh build/win64/telkarim.scr
fi
# The installers under Wine: install, listed, set as the saver, run, removed
# without a trace.
version=$(sed -n 's/^project(telkarim VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if [ -x tests/wine/msi.sh ]; then
  run tests/wine/msi.sh build/telkarim-"$version"-x64.msi build/telkarim-"$version"-x86.msi
fi
# Last, because once 32-bit Wine is installed every Wine start goes through
# its emulated loader first.
if [ -d tests/wine ] && [ -x tests/wine/run.sh ]; then
  # The 32-bit saver in 32-bit Wine, under qemu where this machine cannot run
  # i386 code. Skipped only when the package archive cannot be reached.
  set +e
  tests/wine/setup-i386.sh
  setup=$?
  set -e
  case $setup in
    0) run tests/wine/run.sh build/win32/telkarim.scr ;;
    77) echo "SKIP: the 32-bit saver under Wine: the package archive cannot be reached" ;;
    *) echo "FAIL: tests/wine/setup-i386.sh (exit $setup)"; status=1 ;;
  esac
fi
exit $status
