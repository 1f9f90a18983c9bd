#!/usr/bin/env bash
# Runs the Windows screen saver under Wine on desktops of several monitors,
# and at 144 DPI, in a fresh Wine prefix made for this run:
#   tests/wine/monitors.sh build/win64/telkarim.scr
# One wide Xvfb screen (started with -noreset, so the monitors survive the
# last client) is cut into RandR 1.5 monitors with `xrandr --setmonitor`;
# Wine 8 sees them as monitors only with its own RandR use switched off.
# For each layout: the saver's window covers every monitor, stars appear on
# every monitor, centred on it, no lock fails, and a key ends it with 0.
# The helpers (preview_host.exe, dialog_probe.exe) come from the .scr's
# directory; screenshots go to <that dir>/wine-shots. Prints
# "N passed, M failed"; exits non-zero when anything failed. Every wait is
# bounded; nothing needs the network.
set -u
here=$(cd "$(dirname "$0")" && pwd)
scr=$(realpath "${1:?usage: monitors.sh path/to/telkarim.scr}")
bin=$(dirname "$scr")
shots="$bin/wine-shots"
mkdir -p "$shots"
work=$(mktemp -d /tmp/telkarim-monitors.XXXXXX)
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Once 32-bit Wine is installed (by another test, in any order), "wine"
# goes through the 32-bit loader, emulated here, before the 64-bit one: every
# start here takes the 64-bit loader itself.
if [ -x /usr/lib/wine/wine64 ]; then
  mkdir -p "$work/bin"
  printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$work/bin/wine"
  chmod +x "$work/bin/wine"
  export PATH="$work/bin:$PATH"
fi
# Each screen of the saver appends its path and lock counts here at the end.
log="$work/display.log"
export TELKARIM_DISPLAY_LOG="Z:${log//\//\\}"
key='HKCU\Software\Telkarim\Telkarim'"'"'s Screen Saver'
# shellcheck source=tests/wine/checks.sh
. "$here/checks.sh"

stop_wine() { timeout 20 wineserver -k >/dev/null 2>&1; timeout 20 wineserver -w >/dev/null 2>&1; }
cleanup() {
  stop_wine
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

missing=""
for tool in wine wineserver wineboot Xvfb xrandr xdotool xdpyinfo import convert python3 timeout; do
  command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
if [ -n "$missing" ]; then
  fail "tools missing:$missing (scripts/install-deps.sh installs them)"
  summary
  exit 1
fi

# One server for the whole run, wide enough for every layout; the server
# picks a free display number itself.
Xvfb -displayfd 3 -screen 0 3072x1024x24 -noreset -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
if [ ! -s "$work/display" ]; then
  fail "Xvfb did not start"
  summary
  exit 1
fi
DISPLAY=":$(head -1 "$work/display")"
export DISPLAY
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

reg() { timeout 30 wine reg "$@" >/dev/null 2>&1; }

echo "== Wine prefix (first start takes a while)"
if ! timeout 180 wineboot -i >/dev/null 2>&1; then
  fail "wineboot could not make the prefix"
  summary
  exit 1
fi
reg add 'HKCU\Software\Wine\X11 Driver' /v UseXRandR /d N /f
reg add 'HKCU\Software\Wine\Direct3D' /v renderer /d gdi /f
# Only the stars and the maker's picture: every switchable object off, so the
# centre of each monitor's stars is not pulled aside by an object flying in.
for i in $(seq 0 11); do reg add "$key" /v "Object$i" /t REG_DWORD /d 1 /f; done
stop_wine

shot() { import -window root "$shots/$1.png" 2>/dev/null; }
field() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p"; }

# Replaces the server's monitors: "NAME WxH+X+Y ..." with the primary first.
set_monitors() {
  local m
  for m in $(xrandr --listmonitors | awk 'NR > 1 { print $2 }' | tr -d '*+'); do
    xrandr --delmonitor "$m" >/dev/null 2>&1
  done
  local output=screen name geometry w h
  while [ $# -gt 0 ]; do
    name=$1 geometry=$2
    shift 2
    w=${geometry%%x*} h=${geometry#*x} h=${h%%+*}
    # About 96 pixels per inch.
    xrandr --setmonitor "$name" "$w/$((w * 254 / 960))x$h/$((h * 254 / 960))+${geometry#*+}" "$output" >/dev/null || return 1
    output=none
  done
}

saver_bg() { rm -f "$work/rc"; (cd "$bin" && wine "$@"; echo $? >"$work/rc") >/dev/null 2>&1 & }
wait_rc() {  # seconds; prints the exit code or "running"
  for _ in $(seq $(($1 * 10))); do [ -s "$work/rc" ] && { cat "$work/rc"; return; }; sleep 0.1; done
  echo running
}
end_saver() { [ -s "$work/rc" ] || stop_wine; stop_wine; }
saver_window() {  # "X Y W H" of the full-screen window, once it is up
  local id g
  for _ in $(seq 75); do
    id=$(xdotool search --onlyvisible --name '^Screen Saver$' 2>/dev/null | head -1)
    if [ -n "$id" ]; then
      g=$(xdotool getwindowgeometry --shell "$id" 2>/dev/null | tr '\n' ' ')
      echo "$(echo "$g" | field X) $(echo "$g" | field Y) $(echo "$g" | field WIDTH) $(echo "$g" | field HEIGHT)"
      return 0
    fi
    sleep 0.2
  done
  return 1
}

# layout NAME  MONITOR GEOMETRY ...: one full-screen run on that desktop.
layout() {
  local label=$1
  shift
  if ! set_monitors "$@"; then
    fail "$label: xrandr could not make the monitors"
    return
  fi
  local regions=() x0=99999 y0=99999 x1=0 y1=0 args=("$@") i g w h x y
  for ((i = 1; i < ${#args[@]}; i += 2)); do
    g=${args[i]}
    w=${g%%x*} h=${g#*x} h=${h%%+*}
    x=${g#*+} y=${x#*+} x=${x%%+*}
    regions+=("$x,$y,$((x + w)),$((y + h))")
    ((x < x0)) && x0=$x
    ((y < y0)) && y0=$y
    ((x + w > x1)) && x1=$((x + w))
    ((y + h > y1)) && y1=$((y + h))
  done
  local count=${#regions[@]}
  rm -f "$log"
  xdotool mousemove $(((x0 + x1) / 2)) $(((y0 + y1) / 2))
  saver_bg "$scr" /s
  local geometry
  geometry=$(saver_window) || geometry="none"
  check "$label: the window covers every monitor ($geometry, want $x0 $y0 $((x1 - x0)) $((y1 - y0)))" \
    test "$geometry" = "$x0 $y0 $((x1 - x0)) $((y1 - y0))"

  # Poll until every monitor shows stars, then keep a few more pictures for
  # where their centre lies.
  local lines all shots_taken=0 sums=() k
  for ((k = 0; k < count; ++k)); do sums+=("0 0 0"); done
  for _ in $(seq 80); do
    sleep 0.5
    shot "monitors-$label"
    mapfile -t lines < <(python3 "$here/monitor_pixels.py" "$shots/monitors-$label.png" "${regions[@]}")
    all=1
    for ((k = 0; k < count; ++k)); do
      [ "$(echo "${lines[k]}" | field star)" -ge 30 ] || all=0
    done
    [ "$all" = 1 ] || continue
    for ((k = 0; k < count; ++k)); do
      read -r sx sy sn <<<"${sums[k]}"
      sums[k]=$(awk -v a="$sx" -v b="$sy" -v n="$sn" -v x="$(echo "${lines[k]}" | field cx)" \
        -v y="$(echo "${lines[k]}" | field cy)" 'BEGIN { print a + x, b + y, n + 1 }')
    done
    shots_taken=$((shots_taken + 1))
    [ "$shots_taken" -ge 4 ] && break
  done
  local stars="" centred=1 where=""
  for ((k = 0; k < count; ++k)); do stars="$stars $(echo "${lines[k]}" | field star)"; done
  check "$label: stars on every monitor (star pixels per monitor:$stars)" test "$shots_taken" -gt 0
  for ((k = 0; k < count; ++k)); do
    read -r sx sy sn <<<"${sums[k]}"
    [ "$sn" -gt 0 ] || { centred=0; continue; }
    read -r cx cy < <(awk -v a="$sx" -v b="$sy" -v n="$sn" 'BEGIN { printf "%.3f %.3f\n", a / n, b / n }')
    where="$where ($cx,$cy)"
    # A scene centred on the whole window puts a monitor's stars against
    # the seam, a quarter of its width or more from its centre.
    echo "$cx $cy" | awk '{ exit !($1 > 0.4 && $1 < 0.6 && $2 > 0.4 && $2 < 0.6) }' || centred=0
  done
  check "$label: the stars of each monitor are centred on it (centre as a fraction of the monitor:$where)" \
    test "$centred" = 1
  xdotool key space
  local rc
  rc=$(wait_rc 10)
  check "$label: a key ends the saver with 0 (got $rc)" test "$rc" = 0
  # The log is written as the render thread ends.
  for _ in $(seq 20); do [ "$(wc -l <"$log" 2>/dev/null || echo 0)" -ge "$count" ] && break; sleep 0.2; done
  local screens locks failures
  screens=$(wc -l <"$log" 2>/dev/null || echo 0)
  failures=$(awk '{ for (i = 1; i <= NF; ++i) if ($i ~ /^failed=/) { sub("failed=", "", $i); s += $i } } END { print s + 0 }' "$log" 2>/dev/null)
  locks=$(awk '{ for (i = 1; i <= NF; ++i) if ($i ~ /^locks=/) { sub("locks=", "", $i); if ($i == 0) z = 1 } } END { print z + 0 }' "$log" 2>/dev/null)
  if [ "$count" -eq 1 ]; then
    check "$label: the single-monitor path as before, no lock failed ($(tr '\n' ';' <"$log" 2>/dev/null))" \
      test "$screens" -eq 1 -a "$(grep -c '^single path=ddraw' "$log" 2>/dev/null)" -eq 1 -a "${failures:-1}" -eq 0
  else
    check "$label: one screen per monitor, each locked every frame, no lock failed ($(tr '\n' ';' <"$log" 2>/dev/null))" \
      test "$screens" -eq "$count" -a "$(grep -c '^monitor ' "$log" 2>/dev/null)" -eq "$count" \
      -a "${failures:-1}" -eq 0 -a "${locks:-1}" -eq 0
  fi
  end_saver
}

layout one-monitor P 1280x1024+0+0
layout two-side-by-side P 1024x768+0+0 S 1024x768+1024+0
layout primary-on-the-right P 1024x768+1024+0 S 1024x768+0+0
layout three-primary-in-the-middle P 1024x768+1024+0 L 1024x768+0+0 R 1024x768+2048+0
layout two-sizes P 1280x1024+0+0 S 800x600+1280+0

# ---- 144 DPI: /s, /p and /c work as at 96
set_monitors P 1024x768+0+0
probe() { timeout 20 wine "$bin/dialog_probe.exe" "$@" 2>/dev/null | tr -d '\r'; }
dialog_size() {  # "W H" of the settings dialog, once it is up
  saver_bg "$scr" /c
  local r
  for _ in $(seq 60); do
    r=$(probe rect 0)
    [ -n "$r" ] && break
    sleep 0.25
  done
  # With no window manager, keys go to the window under the pointer.
  # shellcheck disable=SC2086
  [ -n "$r" ] && set -- $r && xdotool mousemove $((($1 + $3) / 2)) $((($2 + $4) / 2)) && echo "$(($3 - $1)) $(($4 - $2))"
}
labels() { for id in 1026 1025 1024 1023; do probe text $id; done | tr '\n' ' '; }

if [ -x "$bin/dialog_probe.exe" ] && [ -x "$bin/preview_host.exe" ]; then
  at96=$(dialog_size)
  end_saver
  reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 0x90 /f
  reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' /v LogPixels /t REG_DWORD /d 0x90 /f
  stop_wine

  layout 144dpi-fullscreen P 1024x768+0+0

  set_monitors P 1024x768+0+0
  rm -f "$work/host.rc"
  (cd "$bin" && wine "$bin/preview_host.exe" "$scr" "$work/handle.txt" 7 >"$work/host.out" 2>&1; echo $? >"$work/host.rc") &
  for _ in $(seq 200); do [ -s "$work/host.rc" ] && break; sleep 0.1; done
  check "144 DPI /p: the saver's window is a visible 240x180 child titled Preview ($(head -1 "$work/host.out" | tr -d '\r'))" \
    grep -q "preview window found visible 240x180" "$work/host.out"
  check "144 DPI /p: the saver ends when its parent is destroyed ($(tail -1 "$work/host.out" | tr -d '\r'))" \
    test "$(cat "$work/host.rc" 2>/dev/null)" = 0
  stop_wine

  at144=$(dialog_size)
  shot settings-144dpi
  check "144 DPI /c: the dialog shows the default labels ($(labels))" \
    test "$(labels)" = "|сейчас: 5 | |сейчас: 200 | |сейчас: 5 | |сейчас: 50 | "
  # Dialog units follow the font, so the whole dialog grows with the DPI.
  ratio_ok() {
    # shellcheck disable=SC2086
    set -- $at96 $at144
    [ $# -eq 4 ] && awk -v a="$1" -v b="$2" -v c="$3" -v d="$4" \
      'BEGIN { x = c / a; y = d / b; exit !(x > 1.35 && x < 1.65 && y > 1.35 && y < 1.65) }'
  }
  check "144 DPI /c: the dialog is about 1.5 times its size at 96 DPI ($at96 -> $at144)" ratio_ok
  xdotool key Escape
  check "144 DPI /c: Cancel ends the dialog with 1" test "$(wait_rc 8)" = 1
  end_saver
else
  fail "144 DPI: $bin/dialog_probe.exe or preview_host.exe not built"
fi

summary
[ "$failed" -eq 0 ]
