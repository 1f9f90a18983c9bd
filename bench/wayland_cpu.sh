#!/bin/bash
# What drawing on a Wayland compositor costs, side by side in one run on one
# machine: this saver (`telkarim --wayland /s`) and the Wayland floor
# (bench_wayland_floor: the same kind of squares written straight into wl_shm
# buffers, damage merged by the saver's own merger, one overlay surface).
# Each runs on a fresh headless sway with one output of the case's size
# (tests/wayland/headless-sway.sh, sway as an unprivileged user when run as
# root) at 50 frames a second; after a warm-up we read, over the measuring
# window, the CPU of the program and of sway in percent of one core
# (utime + stime in /proc) and the program's resident size at the end.
#
#   bench/wayland_cpu.sh [BUILD_DIR] [SECONDS]        (defaults build/linux, 15)
#
# SIZES narrows the sizes (640x480 1920x1080 3840x2160), ROUNDS (2) repeats
# every case, STARS (500) sets the saver's stars and the floor's, POINTS (300)
# the floor's ball: the saver draws about 2 x (500 + 300) squares a frame
# with its objects. The bench programs need a build with TELKARIM_BENCH=ON.
set -eu
build=${1:-build/linux}
secs=${2:-15}
warm=3
stars=${STARS:-500}
points=${POINTS:-300}
here=$(cd "$(dirname "$0")" && pwd)
saver=$build/telkarim
floor=$build/bench/bench_wayland_floor
hz=$(getconf CLK_TCK)
tmp=$(mktemp -d)
chmod 0755 "$tmp"
spid=
cleanup() {
  [ -n "$spid" ] && kill "$spid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
rss() { awk '/^VmRSS/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0; }

# One program at one size: prints "prog% sway% rssKiB".
measure() { # $1 = size, $2 = program
  local dir=$tmp/sway-$1-$2
  spid=$(SWAY_OUTPUT=$1 "$here/../tests/wayland/headless-sway.sh" "$dir")
  local env=()
  while IFS= read -r line; do env+=("$line"); done <"$dir/env"
  mkdir -p "$dir/settings"
  # /s takes its settings from the settings file only.
  XDG_CONFIG_HOME="$dir/settings" "$saver" --set StarNumber="$stars" --set FPS=50 --save-settings >/dev/null
  case $2 in
    saver) env -i PATH="$PATH" "${env[@]}" XDG_CONFIG_HOME="$dir/settings" \
             "$saver" --wayland /s >/dev/null 2>"$dir/err" & ;;
    floor) env -i PATH="$PATH" "${env[@]}" \
             "$floor" -stars "$stars" -points "$points" -fps 50 >/dev/null 2>"$dir/err" & ;;
  esac
  local ppid=$!
  sleep "$warm"
  local t0 x0 t1 x1 mem
  t0=$(ticks $ppid); x0=$(ticks "$spid")
  sleep "$secs"
  t1=$(ticks $ppid); x1=$(ticks "$spid")
  mem=$(rss $ppid)
  kill -TERM "$ppid" 2>/dev/null || true
  wait "$ppid" 2>/dev/null || true
  kill -TERM "$spid" 2>/dev/null || true
  for _ in $(seq 100); do kill -0 "$spid" 2>/dev/null || break; sleep 0.1; done
  spid=
  awk -v t=$((t1 - t0)) -v x=$((x1 - x0)) -v hz="$hz" -v s="$secs" -v m="$mem" \
    'BEGIN { printf "%.2f %.2f %d\n", 100 * t / hz / s, 100 * x / hz / s, m }'
}

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-10s %-6s %5s %7s %7s %7s %8s\n' size program round prog% sway% total% rssKiB
for size in ${SIZES:-640x480 1920x1080 3840x2160}; do
  for round in $(seq "${ROUNDS:-2}"); do
    for prog in saver floor; do
      read -r p x mem < <(measure "$size" "$prog")
      awk -v c="$size" -v g="$prog" -v r="$round" -v p="$p" -v x="$x" -v m="$mem" \
        'BEGIN { printf "%-10s %-6s %5d %7.2f %7.2f %7.2f %8d\n", c, g, r, p, x, p + x, m }'
    done
  done
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
