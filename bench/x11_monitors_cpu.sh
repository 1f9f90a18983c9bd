#!/bin/sh
# CPU cost of the X11 front end over several monitors: the saver drawing on
# the root window of an Xvfb cut into monitors, at 50 frames a second, in
# percent of one core for our process and for the server, from utime+stime
# in /proc/<pid>/stat over a measuring window after a warm-up, and our
# resident size at the end.
#
#   bench/x11_monitors_cpu.sh [PROGRAM] [SECONDS]
#
# SIZES and STARS narrow the table (e.g. SIZES=1920x1080 STARS=500).
# MONITORS lists monitor counts (e.g. MONITORS="1 2 3"): the screen is then
# that many monitors of SIZE side by side, made with xrandr --setmonitor, and
# every monitor gets its own scene (STARS each). One monitor is the plain
# screen of that size.
# TELKARIM_NO_SHM=1 forces plain XPutImage; it passes through to the program.
set -eu
prog=${1:-build/x11/telkarim}
secs=${2:-10}
warm=2
hz=$(getconf CLK_TCK)
cfg=$(mktemp -d)
trap 'rm -rf "$cfg"' EXIT

ticks() { # utime + stime of a pid
  awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0
}

printf '%-10s %8s %6s %8s %8s %8s %7s %8s %s\n' size monitors stars ours% xvfb% total% fps rssKiB presents
for size in ${SIZES:-640x480 1920x1080 3840x2160}; do
  for monitors in ${MONITORS:-1}; do
    for stars in ${STARS:-200 500}; do
      fifo=$cfg/displayfd
      rm -f "$fifo"; mkfifo "$fifo"
      w=${size%x*} h=${size#*x}
      Xvfb -displayfd 3 -screen 0 "$((w * monitors))x${h}x24" -br -nolisten tcp -noreset 3>"$fifo" 2>/dev/null &
      xpid=$!
      num=$(head -n1 "$fifo")
      if [ "$monitors" -gt 1 ]; then
        i=0
        while [ $i -lt "$monitors" ]; do
          out=none; [ $i -eq 0 ] && out=screen
          DISPLAY=:$num xrandr --setmonitor "M$i" "$w/500x$h/300+$((w * i))+0" $out >/dev/null
          i=$((i + 1))
        done
      fi
      DISPLAY=:$num XDG_CONFIG_HOME=$cfg TELKARIM_X11_FIGURES=1 \
        "$prog" -root -star-number "$stars" --set FPS=50 2>"$cfg/figures" &
      tpid=$!
      sleep "$warm"
      t0=$(ticks $tpid); x0=$(ticks $xpid)
      sleep "$secs"
      t1=$(ticks $tpid); x1=$(ticks $xpid)
      mem=$(awk '/^VmRSS/ { print $2 }' "/proc/$tpid/status" 2>/dev/null || echo 0)
      kill -TERM $tpid; wait $tpid || true
      kill -TERM $xpid; wait $xpid 2>/dev/null || true
      figures=$(cat "$cfg/figures")
      frames=$(echo "$figures" | head -n1 | awk '{ print $2 }')
      awk -v t=$((t1 - t0)) -v x=$((x1 - x0)) -v hz="$hz" -v s="$secs" -v size="$size" -v n="$stars" \
          -v m="$monitors" -v f="$frames" -v w=$((secs + warm)) -v mem="$mem" -v fig="$(echo "$figures" | head -n1)" 'BEGIN {
        ours = 100 * t / hz / s; srv = 100 * x / hz / s
        printf "%-10s %8d %6d %8.2f %8.2f %8.2f %7.1f %8d %s\n", size, m, n, ours, srv, ours + srv, f / w, mem, fig }'
    done
  done
done
