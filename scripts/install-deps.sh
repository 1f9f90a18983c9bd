#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (root, apt-get).
set -euo pipefail
packages=(
  build-essential cmake pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
  libpng-dev libgif-dev
  libx11-dev libxext-dev libxrandr-dev libxinerama-dev libxdamage-dev libxft-dev libfontconfig-dev fonts-dejavu-core fonts-liberation
  libgtk-3-dev
  xvfb xserver-xephyr xdotool imagemagick x11-utils x11-xserver-utils xscreensaver zip
  dbus-daemon dbus-session-bus-common
  mingw-w64 wine64 wine
  clang libclang-rt-14-dev
  groff-base python3 man-db dpkg-dev desktop-file-utils debootstrap lintian
  msitools wixl mate-screensaver dbus dbus-bin dconf-gsettings-backend libglib2.0-bin
  libwayland-dev libcairo2-dev wayland-protocols plasma-wayland-protocols sway swayidle grim wtype xwayland
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: need root to install: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
