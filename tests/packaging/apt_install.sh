#!/usr/bin/env bash
# Installs the .deb made from BUILD_DIR with apt-get, as a user would, checks
# that the command, the hack and the XScreenSaver settings page are where the
# daemon and its settings tool look, and removes the package again, unless it
# was installed before this ran. Needs root; changes the system, so it is not
# part of ctest. Safe to run again.
#
# While it is installed, XScreenSaver's settings tool must find the hack and
# its page and run it in the preview pane, and MATE's screen saver must list
# it and run it (tests/mate/mate_test.sh).
#
# Then the same package on a clean system: a minimal Debian of this machine's
# release made with debootstrap, where only what the package declares gets
# installed. There the program must render, refuse the dialog without a
# display, and on this machine's Xvfb (reached from inside the chroot through
# the X server's abstract socket) open the dialog and draw stars. When the
# archive cannot be reached that part is skipped, not failed.
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
root=$work/root
cleanup() {
  # Whatever still runs inside the chroot goes first, then its /proc; the
  # tree is removed only once nothing is mounted in it.
  local p
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && kill -9 "${p#/proc/}" 2>/dev/null
  done
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
  if mountpoint -q "$root/proc" 2>/dev/null; then
    umount "$root/proc" 2>/dev/null || umount -l "$root/proc"
  fi
  if mountpoint -q "$root/proc" 2>/dev/null; then
    echo "left $work in place: $root/proc is still mounted"
    return
  fi
  if [ -z "$had_it" ]; then
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq telkarim >/dev/null 2>&1
  fi
  [ -n "${TK_KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

(cd "$build" && cpack -G DEB -B "$work" > "$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/telkarim_*.deb)
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --reinstall "$deb" > "$work/apt.log" 2>&1 \
  || { cat "$work/apt.log"; echo "FAIL: apt-get install"; exit 1; }

[ "$(command -v telkarim)" = /usr/bin/telkarim ] || fail "telkarim on the PATH is '$(command -v telkarim)'"
[ "$(telkarim --version | head -1)" = "telkarim 1.2" ] || fail "telkarim --version"
[ -x /usr/libexec/xscreensaver/telkarim ] || fail "no hack in /usr/libexec/xscreensaver"
[ "$(/usr/libexec/xscreensaver/telkarim --version | head -1)" = "telkarim 1.2" ] || fail "the hack does not run"
[ -s /usr/share/xscreensaver/config/telkarim.xml ] || fail "no settings page for xscreensaver-settings"
[ "$(man -w telkarim 2>/dev/null)" = /usr/share/man/man6/telkarim.6.gz ] || fail "man -w telkarim"
dpkg -L telkarim | grep -qx /usr/share/applications/telkarim-settings.desktop || fail "no desktop entry"
dpkg -L telkarim | grep -qx /usr/share/applications/screensavers/telkarim.desktop || fail "no entry for MATE's screen saver"

# ---- XScreenSaver's own settings tool, with the package installed
# It must list the hack, read its page without complaint, and run it in its
# preview pane with the options of the programs line. Like the daemon it
# refuses to run as root, so it runs as nobody.
settings_tool() {
  local tool_home=$work/tool-home display pid hack args window lit
  for t in xscreensaver-settings Xvfb setpriv import convert; do
    command -v "$t" >/dev/null || { echo "SKIP: settings tool: $t is not installed"; return; }
  done
  mkdir -p "$tool_home"
  printf '%s\n' 'mode: one' 'selected: 0' 'splash: False' \
    'programs: telkarim --root -star-number 300 -no-relief \n' > "$tool_home/.xscreensaver"
  chown -R 65534:65534 "$tool_home"
  Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5> "$work/tool-display" 2>/dev/null &
  xvfb=$!
  for _ in $(seq 100); do [ -s "$work/tool-display" ] && break; sleep 0.05; done
  display=":$(head -1 "$work/tool-display")"
  setpriv --reuid=65534 --regid=65534 --clear-groups env -i PATH=/usr/bin:/bin HOME="$tool_home" \
    DISPLAY="$display" xscreensaver-settings > "$work/tool.log" 2>&1 &
  pid=$!
  hack=
  for _ in $(seq 150); do
    hack=$(pgrep -u 65534 -f '^telkarim .*-window-id' | head -1)
    [ -n "$hack" ] && break
    sleep 0.1
  done
  if [ -z "$hack" ]; then
    cat "$work/tool.log"; fail "settings tool: no preview of the hack started"
  else
    args=$(tr '\0' ' ' < "/proc/$hack/cmdline" | sed 's/ $//')
    case "$args" in
      "telkarim --root -star-number 300 -no-relief "*-window-id\ 0x*) ;;
      *) fail "settings tool: the preview was started as: $args" ;;
    esac
    # Look until the stars show, up to a generous limit, not once after a
    # fixed wait that a busy machine can outlast.
    window=$(echo "$args" | grep -oE -- '-window-id 0x[0-9a-fA-F]+' | cut -d' ' -f2)
    for _ in $(seq 120); do
      lit=$(DISPLAY=$display timeout 20 import -window "$window" png:- 2>/dev/null |
            convert - -colorspace Gray -threshold 10% -format '%[fx:int(mean*w*h)]' info: 2>/dev/null)
      [ "${lit:-0}" -ge 20 ] && break
      kill -0 "$hack" 2>/dev/null || break
      sleep 0.5
    done
    [ "${lit:-0}" -ge 20 ] || fail "settings tool: the preview pane is black (${lit:-0} lit pixels)"
  fi
  grep -i 'telkarim' "$work/tool.log" && fail "settings tool: it complained about our hack or its page"
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
  # The preview's window went with the tool; the hack must follow it.
  for _ in $(seq 50); do [ -n "$hack" ] && kill -0 "$hack" 2>/dev/null || break; sleep 0.1; done
  [ -n "$hack" ] && kill -0 "$hack" 2>/dev/null && { kill "$hack"; fail "settings tool: the preview outlived the tool"; }
  kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; xvfb=
  [ -n "$hack" ] && [ $status -eq 0 ] &&
    echo "settings tool: lists the hack, reads its page, previews it as '$args' (${lit} lit pixels)"
}
settings_tool

# ---- MATE's screen saver daemon, with the package installed
mate_daemon() {
  "$(dirname "$0")/../mate/mate_test.sh"
  case $? in
    0) ;;
    77) echo "SKIP: MATE's screen saver (see above)" ;;
    *) fail "MATE's screen saver did not run the saver as it should" ;;
  esac
}
mate_daemon

# ---- on a clean system
clean_system() {
  local codename mirror
  command -v debootstrap >/dev/null || { echo "SKIP: clean system: debootstrap is not installed"; return; }
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  # The archive this machine installs from, as apt itself reports it.
  mirror=$(apt-cache policy 2>/dev/null | awk -v c="$codename/main" '$3 == c && $2 ~ /^https?:/ {print $2; exit}')
  [ -n "$codename" ] || { echo "SKIP: clean system: no release name in /etc/os-release"; return; }
  if ! debootstrap --variant=minbase "$codename" "$root" "${mirror:-http://deb.debian.org/debian}" \
       > "$work/debootstrap.log" 2>&1; then
    echo "SKIP: clean system: debootstrap could not make $codename ($(tail -1 "$work/debootstrap.log"))"
    return
  fi
  cp "$deb" "$root/tmp/"
  mount -t proc proc "$root/proc" || { echo "SKIP: clean system: cannot mount /proc in the chroot"; return; }
  local inside=(chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root)
  if ! "${inside[@]}" apt-get update -qq > "$work/clean-apt.log" 2>&1; then
    echo "SKIP: clean system: the archive cannot be reached"; return
  fi
  "${inside[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "/tmp/$(basename "$deb")" >> "$work/clean-apt.log" 2>&1 \
    || { tail -20 "$work/clean-apt.log"; fail "clean system: apt-get install"; return; }
  [ "$("${inside[@]}" telkarim --version | head -1)" = "telkarim 1.2" ] || fail "clean system: telkarim --version"

  # The same render as the build tree's program, byte for byte.
  local args=(--size 320x240 --seconds 3 --seed 7)
  "${inside[@]}" telkarim --render /tmp/clean.png "${args[@]}" >/dev/null 2>&1 || fail "clean system: --render"
  "$build/telkarim" --render "$work/built.png" "${args[@]}" >/dev/null 2>&1
  cmp -s "$root/tmp/clean.png" "$work/built.png" || fail "clean system: the render differs from the build's"
  "${inside[@]}" telkarim /c > /dev/null 2>&1
  [ $? -eq 1 ] || fail "clean system: /c without a display did not end with 1"

  command -v Xvfb >/dev/null && command -v xdotool >/dev/null || { echo "SKIP: clean system on X: no Xvfb or xdotool"; return; }
  Xvfb -displayfd 5 -screen 0 800x600x24 -nolisten tcp 5> "$work/display" 2>/dev/null &
  xvfb=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
  local display=":$(head -1 "$work/display")" pid found lit
  # The first start in a fresh system builds the font cache: give it time.
  # A UTF-8 locale, as a desktop session has: in the bare C locale GTK
  # cannot put a Cyrillic title into the old WM_NAME that xdotool reads.
  "${inside[@]}" env DISPLAY="$display" LANG=C.UTF-8 NO_AT_BRIDGE=1 telkarim /c > "$work/clean-dialog.log" 2>&1 &
  pid=$!
  found=
  for _ in $(seq 600); do
    DISPLAY=$display xdotool search --onlyvisible --name '^Настройка заставки Telkarim$' >/dev/null 2>&1 && { found=1; break; }
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
  [ -n "$found" ] || { cat "$work/clean-dialog.log"; fail "clean system: the settings dialog did not open"; }
  # On the root window: its grey weave turns black with stars on it.
  "${inside[@]}" env DISPLAY="$display" telkarim --root > "$work/clean-hack.log" 2>&1 &
  pid=$!
  for _ in $(seq 60); do
    sleep 0.5
    lit=$(DISPLAY=$display timeout 20 import -window root png:- 2>/dev/null |
          convert - -colorspace Gray -threshold 10% -format '%[fx:int(mean*w*h)]' info: 2>/dev/null)
    [ "${lit:-0}" -ge 20 ] && [ "${lit:-0}" -lt 20000 ] && break
  done
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
  if [ "${lit:-0}" -lt 20 ] || [ "${lit:-0}" -ge 20000 ]; then
    cat "$work/clean-hack.log"; fail "clean system: --root drew no star field (${lit:-0} lit pixels)"
  fi
  [ $status -eq 0 ] || return
  echo "clean system: installed with its declared dependencies only; renders the same bytes, opens the dialog, draws ${lit} lit pixels"
}
clean_system

[ $status -eq 0 ] && echo PASS
exit $status
