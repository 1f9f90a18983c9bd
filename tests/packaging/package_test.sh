#!/usr/bin/env bash
# Installing: every file lands where XScreenSaver, the shell, man and the
# desktop look for it; the Debian package holds the same files and installs
# and removes cleanly.
#   package_test.sh BUILD_DIR
set -u
build=$(realpath "$1")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
pass=0 fail=0
check() { local what=$1; shift; if "$@"; then pass=$((pass + 1)); else fail=$((fail + 1)); echo "FAIL: $what"; fi; }

expected=(
  usr/libexec/xscreensaver/telkarim
  usr/bin/telkarim
  usr/share/xscreensaver/config/telkarim.xml
  usr/share/man/man6/telkarim.6.gz
  usr/share/applications/telkarim-settings.desktop
  usr/share/applications/screensavers/telkarim.desktop
  usr/share/icons/hicolor/32x32/apps/telkarim.png
)

# A build with the dialog installs it as a program of its own.
[ -d "$build/platform/gtk" ] && expected+=(usr/libexec/telkarim/telkarim-settings)

DESTDIR=$tmp/dest cmake --install "$build" --prefix /usr >"$tmp/install.log" 2>&1
check "cmake --install succeeds" test $? -eq 0
for f in "${expected[@]}"; do check "installed $f" test -e "$tmp/dest/$f" -o -L "$tmp/dest/$f"; done
check "the hack points at the command on the PATH" \
  test "$(readlink -f "$tmp/dest/usr/libexec/xscreensaver/telkarim")" = "$(readlink -f "$tmp/dest/usr/bin/telkarim")"
check "the installed hack runs" "$tmp/dest/usr/libexec/xscreensaver/telkarim" --version
check "the desktop entry opens the settings dialog" grep -qx 'Exec=telkarim --settings' \
  "$tmp/dest/usr/share/applications/telkarim-settings.desktop"
if command -v groff >/dev/null; then
  warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww <(gzip -dc "$tmp/dest/usr/share/man/man6/telkarim.6.gz") 2>&1 >/dev/null)
  check "the manual page formats without warnings ($warnings)" test -z "$warnings"
fi

# The package, made in a copy of the build tree's package settings.
(cd "$tmp" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/pkg") >"$tmp/cpack.log" 2>&1
deb=$(ls "$tmp"/pkg/telkarim_*_*.deb 2>/dev/null | head -n1)
check "cpack -G DEB makes telkarim_<version>_<arch>.deb" test -n "$deb"
if [ -n "$deb" ]; then
  dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./||' >"$tmp/contents"
  for f in "${expected[@]}"; do check "package holds $f" grep -qx "$f" "$tmp/contents"; done
  check "package is named telkarim" test "$(dpkg-deb -f "$deb" Package)" = telkarim
  check "package depends on the X and GTK libraries" sh -c "dpkg-deb -f '$deb' Depends | grep -q libx11-6"
  # A real install needs root and a free package database; elsewhere the
  # contents above are what can be checked.
  if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null && ! dpkg -s telkarim >/dev/null 2>&1; then
    if DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$tmp/apt.log" 2>&1; then
      pass=$((pass + 1))
      check "installed package: the hack is where XScreenSaver looks" test -x /usr/libexec/xscreensaver/telkarim
      check "installed package: the settings tool finds its options" test -f /usr/share/xscreensaver/config/telkarim.xml
      check "installed package: telkarim is on the PATH" sh -c 'command -v telkarim >/dev/null && telkarim --version >/dev/null'
      DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq telkarim >>"$tmp/apt.log" 2>&1
      check "the package removes cleanly" test ! -e /usr/libexec/xscreensaver/telkarim
    else
      fail=$((fail + 1)); echo "FAIL: apt-get install of the package"; tail -5 "$tmp/apt.log"
    fi
  else
    echo "not installing the package: needs root and no telkarim package already installed"
  fi
fi
echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
