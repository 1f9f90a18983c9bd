#!/usr/bin/env bash
# Builds both Windows screen savers and what a Windows user downloads, side
# by side in build/:
#   telkarim-<version>-x64.msi     installer for 64-bit Windows
#   telkarim-<version>-x86.msi     installer for 32-bit Windows (and 32-bit on 64-bit)
#   telkarim-<version>-windows.zip both savers, the Windows readme, the
#                                  licence and the notices of what the
#                                  savers carry from others
# The version is the CMake project version, as in the savers' version resource.
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(telkarim VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package-windows: no version in CMakeLists.txt" >&2; exit 1; }
for preset in win64 win32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)" --target telkarim msi
done
cp build/win64/telkarim-"$version"-x64.msi build/win32/telkarim-"$version"-x86.msi build/
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
root="$stage/telkarim-$version-windows"
mkdir -p "$root/win64" "$root/win32"
cp build/win64/telkarim.scr "$root/win64/"
cp build/win32/telkarim.scr "$root/win32/"
# Windows readers open .txt; CRLF line ends for the older editors.
sed 's/$/\r/' docs/windows.md >"$root/README.txt"
sed 's/$/\r/' LICENSE >"$root/LICENSE.txt"
sed 's/$/\r/' third_party/NOTICES >"$root/NOTICES.txt"
out="$PWD/build/telkarim-$version-windows.zip"
rm -f "$out"
(cd "$stage" && zip -q -r -X "$out" "telkarim-$version-windows")
echo "$PWD/build/telkarim-$version-x64.msi"
echo "$PWD/build/telkarim-$version-x86.msi"
echo "$out"
