#!/usr/bin/env bash
# Makes this machine run 32-bit Windows programs under Wine, for the 32-bit
# saver's tests and the 32-bit installer's (as root, unless it is ready):
#   tests/wine/setup-i386.sh [QEMU_DIR]
# The kernel here cannot execute i386 code, so 32-bit Wine runs under qemu's
# user-mode emulation, registered for i386 ELF files with binfmt_misc.
# qemu 10 comes from bookworm-backports: 7.2 (bookworm's own) ignores
# MAP_FIXED_NOREPLACE, and 32-bit Wine then probes the address space for a
# minute per process and crashes. It is fetched through a private apt list
# and unpacked into QEMU_DIR (default build/qemu-user); the system's apt
# sources stay as they are.
# Exits 0 when ready, 77 when the package archive cannot be reached (the
# caller reports SKIP), anything else on a failure.
set -euo pipefail
cd "$(dirname "$0")/../.."
qemu_dir=$(realpath -m "${1:-build/qemu-user}")
unreachable=77

say() { echo "setup-i386: $*" >&2; }
# apt's words for a network it could not reach, as opposed to a package
# that is missing or broken.
offline() { grep -qE "Could not resolve|Temporary failure resolving|Failed to fetch|Unable to connect|Network is unreachable|Connection timed out|Could not connect" "$1"; }

have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
# Already made ready (by an earlier test script, in any order): nothing to
# do, and no root needed.
if have wine32:i386 && have wine64 && have wine && [ -x "$qemu_dir/root/usr/bin/qemu-i386" ] &&
   grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null &&
   grep -qx "interpreter $qemu_dir/root/usr/bin/qemu-i386" /proc/sys/fs/binfmt_misc/qemu-i386 &&
   timeout 120 /usr/lib/wine/wine --version >/dev/null 2>&1; then
  say "ready"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  say "needs root (binfmt_misc, dpkg)"
  exit 1
fi

# 1. binfmt_misc, where the emulator is registered.
binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e "$binfmt/register" ]; then
  mount -t binfmt_misc binfmt_misc "$binfmt"
fi

# 2. 32-bit Wine next to the 64-bit one.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! have wine32:i386 || ! have wine64 || ! have wine; then
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  export DEBIAN_FRONTEND=noninteractive
  if ! apt-get update >"$log" 2>&1 || offline "$log"; then
    if offline "$log"; then
      say "the package archive cannot be reached: $(grep -m1 -E 'Could not|Failed|Unable|unreachable|timed out' "$log")"
      exit $unreachable
    fi
    cat "$log" >&2
    exit 1
  fi
  if ! apt-get install -y -qq --no-install-recommends wine wine64 wine32:i386 >"$log" 2>&1; then
    cat "$log" >&2
    offline "$log" && exit $unreachable
    exit 1
  fi
fi

# 3. qemu-user 10 from bookworm-backports, unpacked, not installed.
qemu="$qemu_dir/root/usr/bin/qemu-i386"
if [ ! -x "$qemu" ]; then
  apt_dir="$qemu_dir/apt"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/sources" "$apt_dir/debs"
  cat >"$apt_dir/sources/bookworm-backports.sources" <<'EOF'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  private=(-o "Dir::State::Lists=$apt_dir/lists" -o Dir::Etc::SourceList=/dev/null
    -o "Dir::Etc::SourceParts=$apt_dir/sources" -o "Dir::Cache=$apt_dir/cache"
    -o APT::Architecture=amd64 -o APT::Architectures=amd64)
  if ! apt-get "${private[@]}" update >"$log" 2>&1 || offline "$log"; then
    cat "$log" >&2
    offline "$log" && exit $unreachable
    exit 1
  fi
  if ! (cd "$apt_dir/debs" && apt-get "${private[@]}" download qemu-user/bookworm-backports) >"$log" 2>&1; then
    cat "$log" >&2
    offline "$log" && exit $unreachable
    exit 1
  fi
  rm -rf "$qemu_dir/root"
  dpkg-deb -x "$apt_dir"/debs/qemu-user_*.deb "$qemu_dir/root"
fi
if ! "$qemu" --version >"$log" 2>&1; then
  say "$qemu does not start:"
  cat "$log" >&2
  exit 1
fi
say "$(head -1 "$log")"

# 4. Register it for i386 ELF files. F: the kernel opens the emulator now,
# so the registration keeps working whatever happens to the file later.
entry="$binfmt/qemu-i386"
if [ -e "$entry" ] && ! grep -qx "interpreter $qemu" "$entry"; then
  echo -1 >"$entry"
fi
if [ ! -e "$entry" ]; then
  printf '%s' ":qemu-i386:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$qemu:F" \
    >"$binfmt/register"
fi
grep -qx enabled "$entry" || echo 1 >"$entry"

# 5. Proof: Wine's 32-bit loader, an i386 program, starts.
if ! timeout 120 /usr/lib/wine/wine --version >"$log" 2>&1; then
  say "32-bit Wine does not start:"
  cat "$log" >&2
  exit 1
fi
say "ready: $(head -1 "$log"), i386 code through $qemu"
