#!/usr/bin/env bash
# cmake --install into a scratch DESTDIR, with the prefix a package uses and
# with the default one: every file where the desktop and XScreenSaver look
# for it, the hack a working link to the command whatever the prefix, and the
# manual page, desktop entry and icons well formed.
#
# usage: install_test.sh BUILD_DIR SOURCE_DIR
set -u
build=$1
source=$2
work=$(mktemp -d /tmp/tk-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }
# A build with the dialog installs it as a program of its own.
dialog=
[ -d "$build/platform/gtk" ] && dialog=libexec/telkarim/telkarim-settings

hack_dir=/usr/libexec/xscreensaver
config_dir=/usr/share/xscreensaver/config

for prefix in /usr /usr/local; do
  dest="$work/root$prefix"
  DESTDIR="$dest" cmake --install "$build" --prefix "$prefix" > "$work/install.log" 2>&1 \
    || { fail "cmake --install --prefix $prefix"; cat "$work/install.log"; continue; }
  for f in "$prefix/bin/telkarim" ${dialog:+"$prefix/$dialog"} "$config_dir/telkarim.xml" "$prefix/share/man/man6/telkarim.6.gz" \
           "$prefix/share/applications/telkarim-settings.desktop" \
           "$prefix/share/applications/screensavers/telkarim.desktop"; do
    [ -s "$dest$f" ] || fail "$prefix: $f missing"
  done
  for size in 16 32 48 128; do
    icon="$dest$prefix/share/icons/hicolor/${size}x${size}/apps/telkarim.png"
    got=$(identify -format '%wx%h' "$icon" 2>/dev/null || python3 -c "
import struct,sys; d=open(sys.argv[1],'rb').read(24); print('%dx%d' % struct.unpack('>II', d[16:24]))" "$icon")
    [ "$got" = "${size}x${size}" ] || fail "$prefix: icon ${size}x${size} is $got"
  done
  # The daemon runs hacks from its own folder whatever the install prefix:
  # the link there must lead to the installed command, inside DESTDIR too.
  link="$dest$hack_dir/telkarim"
  if [ -L "$link" ]; then
    target=$(readlink "$link")
    case "$target" in /*) fail "$prefix: the hack link is absolute ($target)";; esac
    [ "$(readlink -f "$link")" = "$(readlink -f "$dest$prefix/bin/telkarim")" ] \
      || fail "$prefix: the hack link leads to $target"
    out=$("$link" --version 2>&1) || fail "$prefix: the linked hack does not run"
    [ "${out%%$'\n'*}" = "telkarim 1.2" ] || fail "$prefix: the linked hack says '$out'"
  else
    fail "$prefix: $hack_dir/telkarim is not a link"
  fi
  cmp -s "$dest$config_dir/telkarim.xml" "$source/resources/xscreensaver/telkarim.xml" \
    || fail "$prefix: the installed XML is not the source's"
done

# The tree installed with the package's prefix, /usr.
tree="$work/root/usr"

# The manual page: no warnings from groff at its strictest, and the sections a
# reader looks for.
page="$source/resources/man/telkarim.6"
warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$page" 2>&1)
[ -z "$warnings" ] || fail "groff warns about the manual page: $warnings"
text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$tree/usr/share/man/man6/telkarim.6.gz" 2>&1)
for section in NAME SYNOPSIS DESCRIPTION MODES OPTIONS "SETTINGS FILE" FILES "EXIT STATUS"; do
  grep -q "^$section" <<<"$text" || fail "the manual page has no $section section"
done
# Every settings option of the program is in the manual.
for option in -star-color -star-velocity -star-number -object-color -object-velocity -frame-rate -priority; do
  grep -q -- "$option" <<<"$text" || fail "the manual page does not mention $option"
done

desktop="$tree/usr/share/applications/telkarim-settings.desktop"
if command -v desktop-file-validate >/dev/null; then
  out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
  [ -z "$out" ] || fail "desktop-file-validate: $out"
fi
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[ "$exec_line" = "telkarim --settings" ] || fail "the desktop entry runs '$exec_line'"
# MATE's screen saver: its category, the hack mode, and a program name it can
# find. The daemon looks for the name only in its own folders, among them
# XScreenSaver's hack folder, so the name must be the hack link's.
saver="$tree/usr/share/applications/screensavers/telkarim.desktop"
if command -v desktop-file-validate >/dev/null; then
  # A saver has no main menu category; the validator's hint says so.
  out=$(desktop-file-validate "$saver" 2>&1 | grep -v 'hint: .*registered main category')
  [ -z "$out" ] || fail "desktop-file-validate (MATE entry): $out"
fi
for line in 'Exec=telkarim -root' 'TryExec=telkarim' 'Categories=Screensaver;' 'OnlyShowIn=MATE;'; do
  grep -qx "$line" "$saver" || fail "the MATE entry has no line '$line'"
done
[ -L "$tree$hack_dir/telkarim" ] || fail "the MATE entry's telkarim is not in $hack_dir"

# The entry's command must be the settings dialog, not some other mode:
# without a display it prints its one line and exits 1. With the dialog
# built, the line is the dialog program's: the installed command found it.
err=$(env -u DISPLAY -u WAYLAND_DISPLAY "$tree/usr/bin/telkarim" --settings 2>&1 >/dev/null)
[ $? -eq 1 ] || fail "telkarim --settings without a display does not exit 1"
[ -z "$dialog" ] || grep -q 'cannot open a display' <<<"$err" || fail "telkarim --settings without a display said '$err'"

[ $status -eq 0 ] && echo PASS
exit $status
