#!/usr/bin/env bash
# The real client: MATE's screen saver daemon under Xvfb, finding the
# installed saver through its desktop entry in
# /usr/share/applications/screensavers and chosen in the daemon's settings the
# way its preferences dialog chooses it. Activating must start our program
# drawing stars into the daemon's window; deactivating must end it within 5 s.
#
# The daemon runs only programs that lie in its own folders, among them
# /usr/libexec/xscreensaver: the entry's "telkarim" is the hack link there,
# which is why this checks the installed system and not a scratch tree. Run
# it while the package is installed (tests/packaging/apt_install.sh does).
#
# What the daemon needs here: a session bus (it takes its name there, its
# command talks to it there, and the settings reach it through dconf, which
# the bus starts), so it all runs inside dbus-run-session. It does not need
# a session manager or the system bus: without them it logs that it cannot
# follow the session's idle state and carries on, and --activate still works.
#
# usage: mate_test.sh        exit 77 when a tool or the installed saver is missing
set -u
for tool in Xvfb mate-screensaver mate-screensaver-command dbus-run-session gsettings convert import; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
gsettings list-keys org.mate.screensaver >/dev/null 2>&1 || { echo "SKIP: no org.mate.screensaver schema"; exit 77; }
entry=/usr/share/applications/screensavers/telkarim.desktop
[ -s "$entry" ] || { echo "SKIP: $entry is not installed"; exit 77; }

work=$(mktemp -d /tmp/tk-mate.XXXXXX)
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  [ -n "${TK_KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 1 -screen 0 640x480x24 -nolisten tcp > "$work/display" 2> "$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "FAIL: Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
display=":$(head -1 "$work/display")"

# Everything below runs on the private session bus, with a home of its own so
# the settings written here touch no real user's.
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
cat > "$work/session.sh" <<'SESSION'
set -u
fail() { echo "FAIL: $*"; echo "--- daemon log"; tail -20 "$work/daemon.log"; echo "--- bus log"; tail -20 "$work/bus.log"; exit 1; }
gsettings set org.mate.screensaver mode single
gsettings set org.mate.screensaver themes "['screensavers-telkarim']"
gsettings set org.mate.screensaver lock-enabled false
[ "$(gsettings get org.mate.screensaver themes)" = "['screensavers-telkarim']" ] || fail "the settings did not take"

mate-screensaver --no-daemon ${TK_MATE_DEBUG:+--debug} > "$work/daemon.log" 2>&1 &
daemon=$!
# A failed check must not leave the daemon behind.
trap 'kill "$daemon" 2>/dev/null' EXIT
up=
for _ in $(seq 300); do
  mate-screensaver-command --query > /dev/null 2>&1 && { up=1; break; }
  kill -0 "$daemon" 2>/dev/null || break
  sleep 0.1
done
[ -n "$up" ] || fail "the daemon did not answer within 30 s"

ours() {  # our processes, the installed program
  local p
  for p in $(pgrep -x telkarim); do
    [ "$(readlink "/proc/$p/exe")" = /usr/bin/telkarim ] && echo "$p"
  done
}
wait_for() {  # running|gone SECONDS
  for _ in $(seq $(($2 * 10))); do
    if [ "$1" = running ]; then [ -n "$(ours)" ] && return 0
    else [ -z "$(ours)" ] && return 0; fi
    sleep 0.1
  done
  return 1
}
lit_pixels() {
  import -display "$DISPLAY" -window root png:- 2>/dev/null |
    convert - -colorspace Gray -threshold 10% -format '%[fx:int(mean*w*h)]' info: 2>/dev/null
}

mate-screensaver-command --activate > /dev/null || fail "--activate was refused"
wait_for running 15 || fail "the daemon did not start our saver"
pid=$(ours | head -1)
args=$(tr '\0' ' ' < "/proc/$pid/cmdline" | sed 's/ $//')
[ "$args" = "telkarim -root" ] || fail "our saver was started as: $args"
window=$(tr '\0' '\n' < "/proc/$pid/environ" | sed -n 's/^XSCREENSAVER_WINDOW=//p')
[ -n "$window" ] || fail "the daemon gave no XSCREENSAVER_WINDOW"
# Stars on black: some pixels lit, most of the screen dark. Polled, since a
# loaded machine may take a while to draw the first frames.
lit=0
for _ in $(seq 60); do
  lit=$(lit_pixels)
  [ "${lit:-0}" -ge 100 ] && [ "${lit:-0}" -lt $((640 * 480 / 4)) ] && break
  sleep 0.5
done
[ -n "$(ours)" ] || fail "our saver exited while the screen was blanked"
[ "${lit:-0}" -ge 100 ] && [ "${lit:-0}" -lt $((640 * 480 / 4)) ] \
  || fail "the blanked screen shows no star field (${lit:-0} lit pixels)"
[ -n "${TK_KEEP_SHOT:-}" ] && import -display "$DISPLAY" -window root "$TK_KEEP_SHOT"

mate-screensaver-command --deactivate > /dev/null || fail "--deactivate was refused"
wait_for gone 5 || fail "our saver still runs 5 s after --deactivate"
echo "activated: 'telkarim -root' in window $window, $lit lit pixels; gone within 5 s of --deactivate"

# A second time, to see the daemon start it again from its list.
mate-screensaver-command --activate > /dev/null || fail "--activate was refused the second time"
wait_for running 15 || fail "our saver did not start again"
mate-screensaver-command --exit > /dev/null 2>&1
kill "$daemon" 2>/dev/null
wait_for gone 5 || fail "our saver still runs 5 s after the daemon ended"
wait "$daemon" 2>/dev/null
echo PASS
SESSION

# NO_AT_BRIDGE keeps the accessibility bus out of a session nobody reads.
env -i PATH=/usr/bin:/bin HOME="$work/home" DISPLAY="$display" \
  XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/home/.config" XDG_CURRENT_DESKTOP=MATE \
  NO_AT_BRIDGE=1 work="$work" TK_MATE_DEBUG="${TK_MATE_DEBUG:-}" TK_KEEP_SHOT="${TK_KEEP_SHOT:-}" \
  timeout 150 dbus-run-session -- bash "$work/session.sh" 2> "$work/bus.log"
status=$?
[ $status -eq 124 ] && echo "FAIL: the session did not finish within 150 s"
exit $status
