#!/usr/bin/env bash
# The main job: installs what is needed, builds, and runs the saver on the
# display when there is one; with no display, renders a headless demo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$(nproc)" --target telkarim
# A Wayland desktop first (the saver chooses the compositor itself when it
# answers), then X.
wayland_socket=${WAYLAND_DISPLAY:-}
case $wayland_socket in ""|/*) ;; *) wayland_socket=${XDG_RUNTIME_DIR:-/nonexistent}/$wayland_socket ;; esac
if { [ -n "$wayland_socket" ] && [ -S "$wayland_socket" ]; } || { [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; }; then
  exec build/linux/telkarim /s
fi
mkdir -p out
build/linux/telkarim --render out/demo.png --gif out/demo.gif --size 640x480 --seconds 20 --seed 1
echo "No display: rendered a headless demo to $(pwd)/out/demo.png and $(pwd)/out/demo.gif"
