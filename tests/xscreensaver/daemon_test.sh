#!/usr/bin/env bash
# The real client: Debian's XScreenSaver daemon under Xvfb, with a private
# home whose ~/.xscreensaver lists only our hack. Activating must start our
# program drawing into the daemon's window; deactivating and exiting must end
# it within a few seconds.
#
# The options in the programs line carry a quoted colour, as the daemon's
# settings tool writes it; the quotes make the daemon start the line through
# the shell, the path a user's saved settings take.
#
# usage: daemon_test.sh path/to/telkarim        exit 77 when a tool is missing
set -u
program=$1
for tool in Xvfb xscreensaver xscreensaver-command convert import; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

work=$(mktemp -d /tmp/tk-xss-daemon.XXXXXX)
chmod 755 "$work"
xvfb_pid=
daemon_pid=
cleanup() {
  [ -n "$daemon_pid" ] && kill "$daemon_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  [ -n "${TK_KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

# The daemon refuses to start hacks as root, so a root run drops to nobody.
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  command -v setpriv >/dev/null || { echo "SKIP: running as root and setpriv is missing"; exit 77; }
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi

# A copy the other user can run, with a name no other process has.
mkdir -p "$work/bin" "$work/home"
cp "$program" "$work/bin/telkarim"
hack="$work/bin/telkarim"
cat > "$work/home/.xscreensaver" <<CONF
timeout: 0:30:00
cycle: 0:00:00
lock: False
fade: False
unfade: False
splash: False
dpmsEnabled: False
mode: one
selected: 0
programs: $hack --root -star-number 500 -object-color "#00ff00" -no-relief \\n
CONF
[ "${#as_user[@]}" -gt 0 ] && chown -R 65534:65534 "$work/home"

fail() { echo "FAIL: $*"; echo "--- daemon log"; tail -20 "$work/daemon.log"; exit 1; }

# -displayfd picks a free display number and reports it once the server is up.
Xvfb -displayfd 1 -screen 0 640x480x24 -nolisten tcp > "$work/display" 2> "$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "FAIL: Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
display=":$(head -1 "$work/display")"

as_client() { "${as_user[@]}" env -i PATH="$PATH" HOME="$work/home" DISPLAY="$display" "$@"; }

# On a loaded machine the daemon has been seen to take far longer than its
# usual tenth of a second to reach its first X request; give it a generous
# wait, and one fresh start, before calling it a failure.
start_daemon() {
  as_client xscreensaver -no-splash -verbose >> "$work/daemon.log" 2>&1 &
  daemon_pid=$!
}
daemon_answers() {  # daemon_answers SECONDS
  for _ in $(seq $(($1 * 10))); do
    as_client xscreensaver-command -time > /dev/null 2> "$work/command.err" && return 0
    kill -0 "$daemon_pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
diagnose() {
  echo "--- daemon process $daemon_pid"
  if [ -d "/proc/$daemon_pid" ]; then
    grep -E '^(State|VmRSS)' "/proc/$daemon_pid/status"
    echo "waiting in: $(cat "/proc/$daemon_pid/wchan" 2>/dev/null)"
  else
    echo "gone"
  fi
  echo "--- last xscreensaver-command error"; cat "$work/command.err"
  echo "--- Xvfb log"; tail -10 "$work/xvfb.log"
}
start_daemon
if ! daemon_answers 30; then
  echo "the daemon did not answer within 30 s; starting it once more"
  diagnose
  kill "$daemon_pid" 2>/dev/null; wait "$daemon_pid" 2>/dev/null
  start_daemon
  daemon_answers 30 || { diagnose; fail "the daemon did not answer"; }
fi

hack_pids() { pgrep -f "^$hack( |\$)"; }
wait_for() {  # wait_for running|gone SECONDS
  for _ in $(seq $(($2 * 10))); do
    if [ "$1" = running ]; then hack_pids >/dev/null && return 0
    else hack_pids >/dev/null || return 0; fi
    sleep 0.1
  done
  return 1
}

as_client xscreensaver-command -activate >/dev/null || fail "-activate was refused"
wait_for running 10 || fail "the daemon did not start the hack"
pid=$(hack_pids | head -1)
args=$(tr '\0' ' ' < "/proc/$pid/cmdline")
case "$args" in
  *"--root -star-number 500 -object-color #00ff00 -no-relief"*) ;;
  *) fail "the hack was started as: $args" ;;
esac

# Stars show from the first frame, but a sanitized build on a busy machine
# can take long to get there: look again and again, up to a generous limit,
# rather than once after a fixed wait.
lit=0
for _ in $(seq 120); do
  hack_pids >/dev/null || fail "the hack exited while the screen was blanked"
  import -display "$display" -window root "$work/shot.png" || fail "no screenshot"
  lit=$(convert "$work/shot.png" -colorspace Gray -threshold 10% -format '%[fx:int(mean*w*h)]' info:)
  [ "$lit" -ge 100 ] && break
  sleep 0.5
done
echo "lit pixels on the blanked screen: $lit"
[ "$lit" -ge 100 ] || fail "the blanked screen is black ($lit lit pixels) after a minute"
[ -n "${TK_KEEP_SHOT:-}" ] && cp "$work/shot.png" "$TK_KEEP_SHOT"

as_client xscreensaver-command -deactivate >/dev/null || fail "-deactivate was refused"
wait_for gone 5 || fail "the hack still runs 5 s after -deactivate"

as_client xscreensaver-command -activate >/dev/null || fail "-activate was refused the second time"
wait_for running 10 || fail "the hack did not start again"
as_client xscreensaver-command -exit >/dev/null || fail "-exit was refused"
wait_for gone 5 || fail "the hack still runs 5 s after -exit"
wait "$daemon_pid" 2>/dev/null
daemon_pid=
echo "PASS"
