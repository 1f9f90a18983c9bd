#!/usr/bin/env bash
# Starts a headless sway with two outputs (HEADLESS-1 1920x1080 at 0,0 and
# HEADLESS-2 1280x720 at 1920,0) for the Wayland tests, and waits until its
# socket answers.
#
#   headless-sway.sh DIR [xwayland]
#
# DIR (created) receives the runtime folder and a file `env` holding the
# client's environment, one NAME=value a line (XDG_RUNTIME_DIR,
# WAYLAND_DISPLAY, SWAYSOCK, and with xwayland DISPLAY, which lets the
# caller's user in); the script prints
# sway's process id and exits 0, or exits 77 when sway cannot run here.
# SWAY_OUTPUT=WxH asks for one output HEADLESS-1 of that size instead (the
# benchmarks). sway refuses to run as root, so under root it runs as nobody (uid 65534) in
# a 0700 runtime folder that user owns; clients may stay root.
set -euo pipefail
dir=$1
xwayland=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
for tool in sway grim wtype setpriv; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    "$here/../../scripts/install-deps.sh" >&2 || true
    break
  fi
done
command -v sway >/dev/null 2>&1 || { echo "headless-sway: sway is not installed" >&2; exit 77; }
mkdir -p "$dir"
rt=$dir/runtime
mkdir -p "$rt"
chmod 0700 "$rt"
chmod 0755 "$dir"
# As root, sway runs as nobody; any other user runs it as themselves.
runas=()
if [ "$(id -u)" -eq 0 ]; then
  chown 65534:65534 "$rt" "$dir"
  runas=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
config=$dir/config
outputs=2
[ -n "${SWAY_OUTPUT:-}" ] && outputs=1
{
  if [ -n "${SWAY_OUTPUT:-}" ]; then
    echo "output HEADLESS-1 resolution $SWAY_OUTPUT position 0 0"
  else
    echo "output HEADLESS-1 resolution 1920x1080 position 0 0"
    echo "output HEADLESS-2 resolution 1280x720 position 1920 0"
  fi
  if [ "$xwayland" = xwayland ]; then
    echo "xwayland enable"
    # The X display sway opened for XWayland clients is in its environment.
    echo "exec echo \"DISPLAY=\$DISPLAY\" > $dir/display"
  else
    echo "xwayland disable"
  fi
} > "$config"
chmod 0644 "$config"
"${runas[@]}" env -i PATH=/usr/bin:/bin HOME=/nonexistent \
  XDG_RUNTIME_DIR="$rt" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
  WLR_HEADLESS_OUTPUTS="$outputs" sway -c "$config" >"$dir/sway.log" 2>&1 </dev/null &
pid=$!
# The socket and the IPC socket appear once sway is ready; up to 30 s.
for _ in $(seq 300); do
  sock=$(ls "$rt"/sway-ipc.*.sock 2>/dev/null | head -n1 || true)
  wl=$(cd "$rt" && ls wayland-? 2>/dev/null | head -n1 || true)
  if [ -n "$sock" ] && [ -n "$wl" ] &&
     XDG_RUNTIME_DIR=$rt SWAYSOCK=$sock swaymsg -t get_outputs >/dev/null 2>&1; then
    {
      echo "XDG_RUNTIME_DIR=$rt"
      echo "WAYLAND_DISPLAY=$wl"
      echo "SWAYSOCK=$sock"
      if [ "$xwayland" = xwayland ]; then
        for _ in $(seq 100); do
          grep -q "^DISPLAY=:" "$dir/display" 2>/dev/null && break
          sleep 0.1
        done
        cat "$dir/display"
        # XWayland runs as sway's user; clients of other users are let in.
        "${runas[@]}" env -i "$(cat "$dir/display")" \
          xhost +si:localuser:"$(id -un)" >/dev/null 2>&1 || true
      fi
    } > "$dir/env"
    echo "$pid"
    exit 0
  fi
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "headless-sway: sway ended at start:" >&2
    tail -n 20 "$dir/sway.log" >&2
    exit 77
  fi
  sleep 0.1
done
kill "$pid" 2>/dev/null || true
echo "headless-sway: sway did not answer within 30 s" >&2
exit 77
