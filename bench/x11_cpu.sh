#!/bin/bash
# What drawing on X costs, side by side in one run on one machine: this
# saver, a star-field hack of the XScreenSaver collection (galaxy) when it is
# installed, and the Xlib floor (bench_x11_floor: the same number of squares
# of the same size, erased and redrawn with two batched XFillRectangles a
# frame), and the view floor (the same program drawing every square into a
# pixel view of the screen first, as the saver must, then filling in as
# many colours a frame as the saver used). Each runs on a fresh Xvfb at 50 frames a second; after a warm-up we
# read, over the measuring window, the CPU of the program and of the server
# in percent of one core (utime + stime in /proc), the frames the program
# drew (saver and floor count their own) and its resident size at the end.
#
#   bench/x11_cpu.sh [BUILD_DIR] [SECONDS]        (defaults build/linux, 15)
#
# Cases, narrowed by CASES: root-WxH for the whole screen at three sizes,
# preview (a 240x180 window, -window-id), covered (a 1920x1080 window with
# six windows over parts of it), and period: the saver alone for a minute
# at 1920x1080 with its frames counted at the server (bench_x11_watch, from
# the server's own timestamps; watching costs the server as much as the
# drawing, so no other case watches). STARS (500) sets the saver's stars
# and the floor's; the floor draws as many more squares as the saver drew
# for its objects in the same case. PROGRAMS narrows to some of: saver peer
# floor view (the floors take their object squares and colours from the
# saver's run in the same case, so keep saver first). SAVER_ARGS are added to the saver's options (e.g. -no-atom to keep
# some objects off, for runs that compare like with like). TELKARIM_NO_SHM=1
# (no shared memory), TELKARIM_PRESENT=put (images instead of filled
# rectangles) and TELKARIM_FOLD_PIXELS pass through to the saver;
# FLOOR_PRESENT (fill, put, shm-put, clip-put, clip-copy) makes the floor
# present its squares from an image instead, to compare the ways of
# presenting on the same damage.
set -eu
build=${1:-build/linux}
secs=${2:-15}
warm=3
stars=${STARS:-500}
saver=$build/telkarim
floor=$build/bench/bench_x11_floor
watch=$build/bench/bench_x11_watch
peer=
for p in /usr/libexec/xscreensaver/galaxy /usr/lib/xscreensaver/galaxy; do
  [ -x "$p" ] && peer=$p && break
done
hz=$(getconf CLK_TCK)
tmp=$(mktemp -d)
xpid=
cleanup() {
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
rss() { awk '/^VmRSS/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0; }

start_server() { # $1 = WxH
  rm -f "$tmp/fd"
  mkfifo "$tmp/fd"
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp -noreset 3>"$tmp/fd" 2>/dev/null &
  xpid=$!
  export DISPLAY=:$(head -n1 "$tmp/fd")
}
stop_server() {
  kill "$xpid" 2>/dev/null || true
  wait "$xpid" 2>/dev/null || true
  xpid=
}

# One program in one case: prints "prog% xvfb% presents period rssKiB"
# (presents and period 0 unless the case watches).
measure() { # $1 = case, $2 = program name, $3 = object squares for the floor, $4 = colours for the view
  local kind=${1%%-*} size=1920x1080 window="" target secs=$secs
  [ "$kind" = root ] && size=${1#root-}
  [ "$kind" = period ] && secs=60
  start_server "$size"
  : >"$tmp/watch"
  case $kind in
    root | period) "$watch" 2>"$tmp/watch" >/dev/null & ;;
    preview) "$watch" -window 240x180 2>"$tmp/watch" >"$tmp/window" & ;;
    covered) "$watch" -window 1920x1080 -cover 6 2>"$tmp/watch" >"$tmp/window" & ;;
  esac
  local wpid=$!
  if [ "$kind" = preview ] || [ "$kind" = covered ]; then
    for _ in $(seq 100); do grep -q window "$tmp/window" 2>/dev/null && break; sleep 0.1; done
    window=$(awk '{ print $2 }' "$tmp/window")
  fi
  if [ -n "$window" ]; then target="-window-id $window"; else target=-root; fi
  case $2 in
    saver) XDG_CONFIG_HOME=$tmp TELKARIM_X11_FIGURES=1 \
             "$saver" $target -star-number "$stars" --set FPS=50 ${SAVER_ARGS:-} 2>"$tmp/figures" & ;;
    peer) "$peer" $target -delay 20000 2>/dev/null & ;;
    floor) "$floor" $target -stars "$stars" -points "$3" -fps 50 -present "${FLOOR_PRESENT:-fill}" \
             2>"$tmp/figures" & ;;
    view) "$floor" $target -stars "$stars" -points "$3" -fps 50 -present view-fill -colours "$4" \
            2>"$tmp/figures" & ;;
  esac
  local ppid=$!
  sleep "$warm"
  [ "$kind" = period ] && kill -USR1 "$wpid"
  local t0 x0 t1 x1 mem
  t0=$(ticks $ppid); x0=$(ticks $xpid)
  sleep "$secs"
  t1=$(ticks $ppid); x1=$(ticks $xpid)
  mem=$(rss $ppid)
  kill -TERM "$ppid" 2>/dev/null || true
  wait "$ppid" 2>/dev/null || true
  kill -TERM "$wpid" 2>/dev/null || true
  wait "$wpid" 2>/dev/null || true
  stop_server
  awk -v t=$((t1 - t0)) -v x=$((x1 - x0)) -v hz="$hz" -v s="$secs" -v m="$mem" \
      -v w="$(cat "$tmp/watch")" 'BEGIN {
    split(w, f, " ")
    printf "%.2f %.2f %d %.2f %d\n", 100 * t / hz / s, 100 * x / hz / s, f[2] + 0, f[4] + 0, m }'
}

printf '%-16s %-6s %7s %7s %7s %8s %7s %8s  %s\n' case program prog% xvfb% total% fps period rssKiB 'per frame'
for c in ${CASES:-root-640x480 root-1920x1080 root-3840x2160 preview covered period}; do
  points=0
  colours=1
  progs=${PROGRAMS:-saver peer floor view}
  [ "$c" = period ] && progs=saver
  for prog in $progs; do
    [ "$prog" = peer ] && [ -z "$peer" ] && continue
    : >"$tmp/figures"
    read -r p x n period mem < <(measure "$c" "$prog" "$points" "$colours")
    extra=""
    fps=0
    if [ "$prog" = saver ] && grep -q '^x11:' "$tmp/figures"; then
      # x11: F frames, S squares, R rectangles, P pixels, C colours, repaints, image bytes, way, image
      read -r frames squares rects pixels colours < <(sed 's/[^0-9 ]//g' "$tmp/figures" | awk '{ print $2, $3, $4, $5, $6 }')
      extra=$(awk -v f="$frames" -v s="$squares" -v r="$rects" -v px="$pixels" -v c="$colours" \
        'BEGIN { printf "%.0f squares, %.0f rectangles, %.0f pixels, %.0f colours", s / f, r / f, px / f, c / f }')
      fps=$(awk -v f="$frames" -v s=$((secs + warm)) 'BEGIN { print f / s }')
      # The floor draws the stars and, for the object, the squares beyond
      # the stars' (each point is erased and drawn: two squares a frame).
      points=$(awk -v f="$frames" -v s="$squares" -v n="$stars" 'BEGIN { p = s / f / 2 - n; print (p > 0 ? int(p) : 0) }')
      colours=$(awk -v f="$frames" -v c="$colours" 'BEGIN { c = int(c / f + 0.5); print (c > 1 ? c : 1) }')
    elif [ "$prog" = floor ] || [ "$prog" = view ]; then
      extra=$(awk '{ printf "%.0f squares", $4 / $2 }' "$tmp/figures")
      fps=$(awk -v s=$((secs + warm)) '{ print $2 / s }' "$tmp/figures")
    fi
    if [ "$c" = period ]; then
      extra="$n frames at the server in 60 s; $extra"
      fps=$(awk -v n="$n" 'BEGIN { print n / 60 }')
    fi
    awk -v c="$c" -v g="$prog" -v p="$p" -v x="$x" -v f="$fps" -v per="$period" -v m="$mem" -v e="$extra" \
      'BEGIN { printf "%-16s %-6s %7.2f %7.2f %7.2f %8s %7s %8d  %s\n", c, g, p, x, p + x,
               (f > 0 ? sprintf("%.1f", f) : "-"), (per > 0 ? sprintf("%.2f", per) : "-"), m, e }'
  done
done
