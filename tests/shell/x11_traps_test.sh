#!/usr/bin/env bash
# The saver on X against settings files and window ids that are traps: a pipe
# as the settings file must not keep the full-screen saver from ending on a
# key, and a missing window named by XSCREENSAVER_WINDOW is named in the error.
#
# usage: x11_traps_test.sh path/to/telkarim        exit 77 when a tool is missing
set -u
bin=$(realpath "$1")
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
tmp=$(mktemp -d)
xvfb=
saver=
cleanup() {
  [ -n "$saver" ] && kill -9 "$saver" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
status=0
bad() { echo "FAIL $*"; status=1; }

Xvfb -displayfd 5 -screen 0 640x480x24 -nolisten tcp -noreset 5>"$tmp/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 200); do [ -s "$tmp/display" ] && break; sleep 0.05; done
[ -s "$tmp/display" ] || { echo "FAIL Xvfb did not start"; exit 1; }
export DISPLAY=:$(head -n1 "$tmp/display")
export ASAN_OPTIONS=detect_leaks=0

# A pipe where the settings file should be: the saver runs on the defaults
# and a key still ends it.
mkdir -p "$tmp/cfg/telkarim"
mkfifo "$tmp/cfg/telkarim/settings.reg"
XDG_CONFIG_HOME="$tmp/cfg" "$bin" /s 2>"$tmp/err" &
saver=$!
shown=
for _ in $(seq 400); do
  xdotool search --onlyvisible --name '^Screen Saver$' >/dev/null 2>&1 && { shown=1; break; }
  kill -0 "$saver" 2>/dev/null || break
  sleep 0.05
done
[ -n "$shown" ] || bad "the full-screen window did not show"
# Keys until it ends, up to a generous limit for slow, sanitized builds.
ended=
for _ in $(seq 60); do
  kill -0 "$saver" 2>/dev/null || { ended=1; break; }
  xdotool key space 2>/dev/null
  sleep 0.5
done
if [ -n "$ended" ]; then
  wait "$saver"
  rc=$?
  saver=
  [ "$rc" -eq 0 ] || { bad "the saver over a pipe ended with $rc"; cat "$tmp/err"; }
else
  bad "a key did not end the saver whose settings file is a pipe"
fi
[ -p "$tmp/cfg/telkarim/settings.reg" ] || bad "the pipe was replaced"

# A window id that names no window: the error says which one was given.
XSCREENSAVER_WINDOW=99999999 timeout 60 "$bin" -root >"$tmp/out" 2>"$tmp/err"
rc=$?
[ "$rc" -eq 1 ] || bad "XSCREENSAVER_WINDOW naming no window ended with $rc"
grep -q '0x5f5e0ff' "$tmp/err" || { bad "the error does not name window 0x5f5e0ff:"; cat "$tmp/err"; }

[ "$status" -eq 0 ] && echo PASS
exit "$status"
