#!/usr/bin/env bash
# cpack -G DEB from the build folder: the package's name, version, section,
# maintainer and library dependencies, and its files exactly where Debian's
# XScreenSaver and the desktop look, with nothing leaking outside /usr.
#
# Debian's own checker, lintian, must find no error in it, and every warning
# it gives must be one the README lists with its reason.
#
# usage: deb_test.sh BUILD_DIR VERSION            exit 77 without dpkg-deb
set -u
build=$1
version=$2
source=$(cd "$(dirname "$0")/../.." && pwd)
command -v dpkg-deb >/dev/null || { echo "SKIP: dpkg-deb is not installed"; exit 77; }
command -v cpack >/dev/null || { echo "SKIP: cpack is not installed"; exit 77; }
work=$(mktemp -d /tmp/tk-deb.XXXXXX)
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

(cd "$build" && cpack -G DEB -B "$work/out" > "$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1; }
arch=$(dpkg --print-architecture 2>/dev/null || echo amd64)
deb="$work/out/telkarim_${version}_${arch}.deb"
[ -f "$deb" ] || { ls "$work/out"; echo "FAIL: no $(basename "$deb")"; exit 1; }
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = telkarim ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)'"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
[ "$(field Section)" = x11 ] || fail "Section is '$(field Section)'"
grep -q '<.*@.*>' <<<"$(field Maintainer)" || fail "Maintainer '$(field Maintainer)' has no address"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
echo "Depends: $depends"
# What the program links: a package without these would install and then
# fail to start.
for lib in libx11-6 libxext6 libxft2 libpng16-16 libgif7 libc6; do
  grep -q "\b$lib\b" <<<"$depends" || fail "Depends does not name $lib"
done
gtk=
grep -q 'TK_HAVE_GTK' "$build/CMakeCache.txt" 2>/dev/null || [ -d "$build/platform/gtk" ] && gtk=1
if [ -n "$gtk" ]; then
  grep -q 'libgtk-3-0' <<<"$depends" || fail "Depends does not name libgtk-3-0"
fi

dpkg-deb -c "$deb" > "$work/contents"
listed() { awk '{print $6}' "$work/contents" | sed 's|^\./|/|'; }
for f in /usr/bin/telkarim /usr/libexec/xscreensaver/telkarim /usr/share/xscreensaver/config/telkarim.xml \
         /usr/share/man/man6/telkarim.6.gz /usr/share/applications/telkarim-settings.desktop \
         /usr/share/applications/screensavers/telkarim.desktop \
         /usr/lib/systemd/user/telkarim-idle.service \
         /usr/share/icons/hicolor/32x32/apps/telkarim.png ${gtk:+/usr/libexec/telkarim/telkarim-settings}; do
  listed | grep -qx "$f" || fail "the package has no $f"
done
outside=$(listed | grep -v '^/usr/' | grep -vx -e '/' -e '/usr/\?' || true)
[ -z "$outside" ] || fail "files outside /usr: $outside"
# A build machine's own prefix must not leak into the package.
listed | grep -q '^/usr/local' && fail "the package installs into /usr/local"
grep -q 'xscreensaver/telkarim -> ../../bin/telkarim$' "$work/contents" \
  || fail "the hack is not a link to ../../bin/telkarim: $(grep libexec "$work/contents")"
# The packed program runs.
dpkg-deb -x "$deb" "$work/tree"
out=$("$work/tree/usr/libexec/xscreensaver/telkarim" --version 2>&1) || fail "the packed program does not run: $out"

# The licence and the notices: every file from others kept in the source
# must be named in the package's copyright file and in NOTICES, so one added
# without its notice is caught here. The changelog's latest entry is this
# version, or a version bump went out without one.
doc="$work/tree/usr/share/doc/telkarim"
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$doc/copyright" \
  || fail "the copyright file is not in Debian's machine-readable form"
grep -qx 'Copyright: 2026 The Telkarim Screen Saver authors' "$doc/copyright" || fail "the copyright file does not name our authors"
# The patterns of every Files: field, continuation lines included.
mapfile -t patterns < <(awk '/^Files:/ { on = 1; sub(/^Files:/, "") } /^[^ ]/ && !/^Files:/ { on = 0 }
                              on { for (i = 1; i <= NF; i++) print $i }' "$doc/copyright")
named() { local p; for p in "${patterns[@]}"; do [ "$p" != '*' ] && [[ $1 == $p ]] && return 0; done; return 1; }
while IFS= read -r f; do
  named "$f" || fail "the copyright file has no Files: paragraph for $f"
  grep -q "^$f:$" "$doc/NOTICES" || fail "NOTICES has no notice for $f"
done < <(cd "$source" && find third_party -type f ! -name NOTICES | sort)
logged=$(gzip -dc "$doc/changelog.gz" | dpkg-parsechangelog -l - -S Version 2>&1)
[ "$logged" = "$version" ] || fail "the changelog's latest entry is '$logged', the package $version"

if ! command -v lintian >/dev/null; then
  "$source/scripts/install-deps.sh" >/dev/null 2>&1
fi
if command -v lintian >/dev/null; then
  # Status 1 means errors, which the tags show; anything above is lintian
  # itself failing. Its note about running as root goes to standard error.
  lintian --pedantic "$deb" > "$work/lintian" 2> "$work/lintian.err"
  [ $? -le 1 ] || { cat "$work/lintian.err"; fail "lintian did not run"; }
  cat "$work/lintian"
  grep -q '^E: ' "$work/lintian" && fail "lintian reports errors"
  while read -r _ _ tag _; do
    grep -qF "\`$tag\`" "$source/README.md" || fail "lintian warns '$tag', which the README does not list"
  done < <(grep '^W: ' "$work/lintian")
else
  fail "lintian is not installed (scripts/install-deps.sh installs it)"
fi

[ $status -eq 0 ] && echo PASS
exit $status
