#!/usr/bin/env bash
# Installs the .deb made from BUILD_DIR with apt-get, as a user would, checks
# that the command, the hack and the XScreenSaver settings page are where the
# daemon and its settings tool look, and removes the package again, unless it
# was installed before this ran. Needs root; changes the system, so it is not
# part of ctest. Safe to run again.
#
# usage: apt_install.sh BUILD_DIR
set -u
build=$1
[ "$(id -u)" -eq 0 ] || { echo "SKIP: apt_install.sh needs root"; exit 77; }
command -v apt-get >/dev/null || { echo "SKIP: no apt-get"; exit 77; }
work=$(mktemp -d /tmp/tk-apt.XXXXXX)
chmod 755 "$work"  # apt's download user reads the package from here
had_it=
dpkg-query -W -f='${Status}' telkarim 2>/dev/null | grep -q 'install ok installed' && had_it=1
cleanup() {
  if [ -z "$had_it" ]; then
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq telkarim >/dev/null 2>&1
  fi
  rm -rf "$work"
}
trap cleanup EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

(cd "$build" && cpack -G DEB -B "$work" > "$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/telkarim_*.deb)
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --reinstall "$deb" > "$work/apt.log" 2>&1 \
  || { cat "$work/apt.log"; echo "FAIL: apt-get install"; exit 1; }

[ "$(command -v telkarim)" = /usr/bin/telkarim ] || fail "telkarim on the PATH is '$(command -v telkarim)'"
[ "$(telkarim --version)" = "telkarim 1.2" ] || fail "telkarim --version"
[ -x /usr/libexec/xscreensaver/telkarim ] || fail "no hack in /usr/libexec/xscreensaver"
[ "$(/usr/libexec/xscreensaver/telkarim --version)" = "telkarim 1.2" ] || fail "the hack does not run"
[ -s /usr/share/xscreensaver/config/telkarim.xml ] || fail "no settings page for xscreensaver-settings"
[ "$(man -w telkarim 2>/dev/null)" = /usr/share/man/man6/telkarim.6.gz ] || fail "man -w telkarim"
dpkg -L telkarim | grep -qx /usr/share/applications/telkarim-settings.desktop || fail "no desktop entry"

[ $status -eq 0 ] && echo PASS
exit $status
