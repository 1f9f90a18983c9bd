#!/usr/bin/env bash
# The program's command line as a user meets it: exit statuses, one-line
# errors, byte-identical renders.
set -u
bin=$(realpath "$1")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
pass=0
fail=0
check() {  # name, expected status, command...
  local name=$1 want=$2
  shift 2
  "$@" >"$tmp/out" 2>"$tmp/err"
  local got=$?
  if [ "$got" -eq "$want" ]; then pass=$((pass + 1)); else
    fail=$((fail + 1)); echo "FAIL $name: status $got, wanted $want"; cat "$tmp/err"; fi
}
check render 0 "$bin" --render "$tmp/a.png" --seconds 3 --seed 5
check render-again 0 "$bin" --render "$tmp/b.png" --seconds 3 --seed 5
if cmp -s "$tmp/a.png" "$tmp/b.png"; then pass=$((pass + 1)); else fail=$((fail + 1)); echo "FAIL renders differ"; fi
check record 0 "$bin" --record "$tmp/frames" --every 10 --seconds 2 --size 160x120
n=$(ls "$tmp/frames" | wc -l)
if [ "$n" -ge 5 ]; then pass=$((pass + 1)); else fail=$((fail + 1)); echo "FAIL record wrote $n frames"; fi
# Every option with a missing, empty, negative, huge or malformed value: status
# 2, exactly one line naming the problem, and no output file at all.
out="$tmp/never.png"
while IFS= read -r bad; do
  [ -z "$bad" ] && continue
  eval "set -- $bad"
  check "bad: $bad" 2 "$bin" --render "$out" "$@"
  if [ "$(wc -l <"$tmp/err")" -eq 1 ] && grep -q '^telkarim: ' "$tmp/err"; then pass=$((pass + 1)); else
    fail=$((fail + 1)); echo "FAIL bad '$bad' did not print one error line:"; cat "$tmp/err"; fi
  if [ -e "$out" ] || ls "$tmp" | grep -q '\.part$'; then
    fail=$((fail + 1)); echo "FAIL bad '$bad' left an output file"; rm -f "$out" "$tmp"/*.part; fi
done <<'EOF_BAD'
--size
--size ''
--size ' 640x480'
--seed ' 7'
--size 0x0
--size 10x
--size x10
--size -5x10
--size 100000x100000
--size 16385x1
--seconds
--seconds ''
--seconds -3
--seconds x
--seconds nan
--seconds inf
--seconds 1e308
--seed
--seed -1
--seed 99999999999
--format
--format 7
--format ''
--every 0
--every -1
--every 99999999999
--start-tick -1
--start-tick 4294967296
--set
--set =
--set Nope=1
--set StarNumber=
--set StarNumber=40
--set StarNumber=99999999999999
--set FPS=abc
--settings-file
--gif
--record
--bogus
-star-number
-star-number -5
-star-number 9999
-star-color zz
-frame-rate 0
-priority high
-window-id 0xZZ
EOF_BAD
check "bad: --render without a path" 2 "$bin" --render

# Output paths that cannot be written: one line, status 2, nothing left behind.
check unwritable 2 "$bin" --render /nonexistent/dir/x.png --seconds 1
check "directory as output" 2 "$bin" --render "$tmp" --seconds 1
check "full disk (png)" 2 "$bin" --render /dev/full --seconds 1
check "full disk (gif)" 2 "$bin" --gif /dev/full --seconds 1
check "full disk (sheet)" 2 "$bin" --sheet /dev/full
if [ -c /dev/full ] && [ ! -e /dev/full.part ]; then pass=$((pass + 1)); else
  fail=$((fail + 1)); echo "FAIL a failed write replaced or littered /dev"; fi
# A pipe is written in place, not replaced by a finished file.
check "render to a pipe" 0 sh -c "'$bin' --render /dev/stdout --seconds 1 --size 64x48 | cmp -s - /dev/null; [ \$? -eq 1 ]"
# A failed render keeps the picture an earlier run left there.
"$bin" --render "$tmp/keep.png" --seconds 1 --size 32x24 2>/dev/null
cp "$tmp/keep.png" "$tmp/keep.orig"
check "bad size keeps the old picture" 2 "$bin" --render "$tmp/keep.png" --size 0x0
if cmp -s "$tmp/keep.png" "$tmp/keep.orig"; then pass=$((pass + 1)); else fail=$((fail + 1)); echo "FAIL old picture changed"; fi
if ls /nonexistent/dir 2>/dev/null | grep -q .; then fail=$((fail + 1)); fi
check help 0 "$bin" --help
# --version: the version, then LICENSE's copyright line and the licence.
check version 0 "$bin" --version
licence="$(grep -m1 '^Copyright ' "$(dirname "$0")/../../LICENSE"). MIT licence."
if [ "$(sed -n 2p "$tmp/out")" = "$licence" ] && [ "$(wc -l <"$tmp/out")" -eq 2 ]; then pass=$((pass + 1)); else
  fail=$((fail + 1)); echo "FAIL --version printed:"; cat "$tmp/out"; fi
check unknown-letter 255 "$bin" /x
check show-settings 0 "$bin" --show-settings --settings-file "$tmp/s.reg" --set StarNumber=321
if grep -qx 'StarNumber=321' "$tmp/out" && grep -qx 'StarColor=0x00ff9070' "$tmp/out"; then pass=$((pass + 1)); else
  fail=$((fail + 1)); echo "FAIL show-settings:"; cat "$tmp/out"; fi
# One error line of exactly one line, starting with telkarim:, for the last check.
one_line() {  # name
  if [ "$(wc -l <"$tmp/err")" -eq 1 ] && grep -q '^telkarim: ' "$tmp/err" && ! grep -q $'\e' "$tmp/err"; then
    pass=$((pass + 1)); else fail=$((fail + 1)); echo "FAIL $1 did not print one clean error line:"; cat -v "$tmp/err"; fi
}
ok() {  # name, condition...
  local name=$1
  shift
  if "$@"; then pass=$((pass + 1)); else fail=$((fail + 1)); echo "FAIL $name"; fi
}

# Write errors are cleaned like parse errors: no second line, no escapes.
check "newline in an output path" 2 "$bin" --render $'a\nb/x.png' --size 8x8 --seconds 0
one_line "newline in an output path"
check "escape in an output path" 2 "$bin" --render $'\e[31mred/x.png' --size 8x8 --seconds 0
one_line "escape in an output path"

# A temporary name planted as a link is never written through.
mkdir -p "$tmp/shared"
echo precious >"$tmp/victim.txt"
ln -s "$tmp/victim.txt" "$tmp/shared/out.png.part"
check "planted .part link" 0 "$bin" --render "$tmp/shared/out.png" --size 8x8 --seconds 0
ok "planted link's target kept" grep -qx precious "$tmp/victim.txt"
ok "render written beside the planted link" test -f "$tmp/shared/out.png" -a ! -L "$tmp/shared/out.png"
ln -s "$tmp/victim.txt" "$tmp/shared/out.gif.part"
check "planted .part link (gif)" 0 "$bin" --gif "$tmp/shared/out.gif" --size 8x8 --seconds 0
ok "planted link's target kept (gif)" grep -qx precious "$tmp/victim.txt"

# A link as the output is written through; a read-only picture is refused.
mkdir -p "$tmp/pics"
"$bin" --render "$tmp/pics/real.png" --size 8x8 --seconds 0 2>/dev/null
ln -s real.png "$tmp/pics/link.png"
check "render onto a link" 0 "$bin" --render "$tmp/pics/link.png" --size 16x16 --seconds 0
ok "the link stays a link" test -L "$tmp/pics/link.png"
ok "the link's file is the new picture" cmp -s "$tmp/pics/real.png" <("$bin" --render /dev/stdout --size 16x16 --seconds 0 2>/dev/null)
cp "$tmp/pics/real.png" "$tmp/pics/ro.png"
chmod 0444 "$tmp/pics/ro.png"
check "render onto a read-only file" 2 "$bin" --render "$tmp/pics/ro.png" --size 8x8 --seconds 0
one_line "render onto a read-only file"
ok "the read-only file is unchanged" cmp -s "$tmp/pics/ro.png" "$tmp/pics/real.png"
chmod 0600 "$tmp/pics/real.png"
"$bin" --render "$tmp/pics/real.png" --size 8x8 --seconds 0 2>/dev/null
ok "a private picture stays private" test "$(stat -c %a "$tmp/pics/real.png")" = 600

# Beyond the 32-bit tick count a run could never be timed: refused at once.
check "seconds past the tick wrap" 2 timeout 20 "$bin" --render "$tmp/o.png" --size 1x1 --seconds 4294968 --set FPS=20
one_line "seconds past the tick wrap"

# GIF delays are 16 bits of hundredths: a longer frame is repeated, never wrapped.
check "long gif frames" 0 "$bin" --gif "$tmp/e.gif" --every 16000 --seconds 1600 --size 8x8 --set FPS=20
delays=$(python3 - "$tmp/e.gif" <<'EOF_PY'
import sys
d = open(sys.argv[1], 'rb').read()
i, out = d.find(b'\x21\xf9\x04'), []
while i >= 0:
    out.append(d[i + 4] | d[i + 5] << 8)
    i = d.find(b'\x21\xf9\x04', i + 1)
print(max(out), sum(out))
EOF_PY
)
ok "gif delays within 16 bits and summing to the run ($delays)" test "${delays%% *}" -le 65535 -a "${delays##* }" -ge 159000

# --set ... --save-settings: silent on success, kept by the next load, and
# one line with status 2 on any failure.
s="$tmp/cfg/settings.reg"
check "save settings" 0 "$bin" --settings-file "$s" --set StarNumber=321 --set Object4=1 --save-settings
ok "save settings prints nothing" test ! -s "$tmp/out" -a ! -s "$tmp/err"
check "saved settings load" 0 "$bin" --show-settings --settings-file "$s"
ok "saved values are read back" grep -qx 'StarNumber=321' "$tmp/out"
ok "saved flags are read back" grep -qx 'Object4=1' "$tmp/out"
printf '; mine\r\n"Other"=dword:00000001' >>"$s"
check "save settings again" 0 "$bin" --settings-file "$s" --set FPS=30 --save-settings
ok "another program's lines stay" grep -q '^; mine' "$s"
ok "the first save's values stay" grep -q '"StarNumber"=dword:00000141' "$s"
check "save settings out of range" 2 "$bin" --settings-file "$s" --set StarNumber=40 --save-settings
one_line "save settings out of range"
check "save settings into a folder" 2 "$bin" --settings-file "$tmp/cfg" --set FPS=30 --save-settings
one_line "save settings into a folder"
ok "the folder is not moved aside" test -d "$tmp/cfg" -a ! -e "$tmp/cfg.bad"
mkfifo "$tmp/fifo.reg"
check "save settings into a pipe" 2 timeout 20 "$bin" --settings-file "$tmp/fifo.reg" --set FPS=30 --save-settings
one_line "save settings into a pipe"
ok "the pipe stays" test -p "$tmp/fifo.reg"
check "show settings from a pipe" 0 timeout 20 "$bin" --show-settings --settings-file "$tmp/fifo.reg"
ok "a pipe gives the defaults" grep -qx 'StarNumber=200' "$tmp/out"

# --show-settings only reads; without HOME nothing lands in the current folder.
mkdir -p "$tmp/cwd"
check "show settings creates nothing" 0 "$bin" --show-settings --settings-file "$tmp/none/settings.reg"
ok "no folder made by looking" test ! -e "$tmp/none"
check "no HOME" 0 sh -c "cd '$tmp/cwd' && exec env -u HOME -u XDG_CONFIG_HOME '$bin' --show-settings"
ok "no HOME leaves no .config behind" test ! -e "$tmp/cwd/.config"
ok "no HOME: the home comes from the password database" grep -q '^settings file: /' "$tmp/err"
# Twenty processes at once: nineteen saves of one value each and another
# program appending a comment. No value is lost, no save fails, and every
# line that is not ours stays. TK_SAVE_ROUNDS=20 for the long run.
names="StarColor=5 StarVelocity=3 StarNumber=301 ObjectColor=6 ObjectVelocity=2 FPS=33 ThreadPriority=-1"
for k in $(seq 0 11); do names="$names Object$k=1"; done
c="$tmp/concurrent.reg"
lost=0 failed=0 foreign=0
for enc in utf8 utf16; do
  for round in $(seq "${TK_SAVE_ROUNDS:-2}"); do
    start='Windows Registry Editor Version 5.00\r\n\r\n; kept comment\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n"Foreign"=dword:00000001\r\n\r\n'
    if [ $enc = utf8 ]; then printf "$start" >"$c"; else { printf '\xff\xfe'; printf "$start" | iconv -t utf-16le; } >"$c"; fi
    pids=""
    for n in $names; do "$bin" --settings-file "$c" --set "$n" --save-settings 2>>"$tmp/save-errors" & pids="$pids $!"; done
    if [ $enc = utf8 ]; then printf '; appended\r\n' >>"$c"; else printf '; appended\r\n' | iconv -t utf-16le >>"$c"; fi
    # A writer that keeps the file open a moment before it writes: a save
    # that replaces the file meanwhile must wait for what it writes.
    if [ $enc = utf8 ]; then (sleep 0.3; printf '; held open\r\n') >>"$c" &
    else (sleep 0.3; printf '; held open\r\n' | iconv -t utf-16le) >>"$c" & fi
    held=$!
    for p in $pids; do wait "$p" || failed=$((failed + 1)); done
    wait "$held"
    if [ $enc = utf8 ]; then cat "$c"; else tail -c +3 "$c" | iconv -f utf-16le; fi | tr -d '\r' >"$tmp/text"
    for n in $names; do
      v=$(printf '%08x' $((${n#*=} & 0xffffffff)))
      grep -qx "\"${n%%=*}\"=dword:$v" "$tmp/text" || lost=$((lost + 1))
    done
    for line in '; kept comment' '"Foreign"=dword:00000001' '; appended' '; held open'; do
      grep -qxF "$line" "$tmp/text" || foreign=$((foreign + 1))
    done
  done
done
# The same with no file and no folder yet: each save makes them or finds them made.
pids=""
for n in $names; do "$bin" --settings-file "$tmp/new/settings.reg" --set "$n" --save-settings 2>>"$tmp/save-errors" & pids="$pids $!"; done
for p in $pids; do wait "$p" || failed=$((failed + 1)); done
tr -d '\r' <"$tmp/new/settings.reg" >"$tmp/text"
for n in $names; do
  grep -qx "\"${n%%=*}\"=dword:$(printf '%08x' $((${n#*=} & 0xffffffff)))" "$tmp/text" || lost=$((lost + 1))
done
ok "concurrent saves lose no value ($lost lost)" test "$lost" -eq 0
ok "concurrent saves all succeed ($failed failed)" test "$failed" -eq 0
ok "concurrent saves keep every foreign line ($foreign lost)" test "$foreign" -eq 0
[ "$failed" -eq 0 ] || cat "$tmp/save-errors"

# Saves as root with an unprivileged user (nobody) in a private folder tree:
# the user's links never lead root's write to another file, and what root
# creates in the user's home stays the user's.
if [ "$(id -u)" -ne 0 ] || ! command -v setpriv >/dev/null; then
  echo "SKIP saves as root: not root (or no setpriv)"
else
  rt=$(mktemp -d)
  chmod 755 "$rt"
  trap 'rm -rf "$tmp" "$rt"' EXIT
  as_user() { setpriv --reuid 65534 --regid 65534 --clear-groups "$@"; }
  save_as_root() { check "$1" "$2" env -u XDG_CONFIG_HOME HOME="$3" "$bin" --set FPS=33 --save-settings; }
  mkdir "$rt/user"
  chown 65534:65534 "$rt/user"
  as_user mkdir -p "$rt/user/.config/telkarim" "$rt/user/dir"
  for kind in text binary; do
    v="$rt/victim-$kind.conf"
    if [ $kind = text ]; then printf 'secret=1\n' >"$v"; else printf 'bin\0ary' >"$v"; fi
    chmod 600 "$v"
    cp -p "$v" "$v.orig"
    was=$(stat -c '%a %u %g %i' "$v")
    as_user ln -sf "$v" "$rt/user/.config/telkarim/settings.reg"
    save_as_root "root through the user's link to a root file ($kind)" 2 "$rt/user"
    one_line "root through the user's link ($kind)"
    ok "the root file is untouched ($kind)" cmp -s "$v" "$v.orig"
    ok "the root file keeps mode and owner ($kind)" test "$(stat -c '%a %u %g %i' "$v")" = "$was" -a ! -e "$v.bad"
  done
  as_user sh -c "printf 'mine\n' >'$rt/user/mine.reg'"
  mkdir "$rt/shared" "$rt/tmp"
  chgrp 65534 "$rt/shared"
  chmod 1775 "$rt/shared"
  chmod 1777 "$rt/tmp"
  as_user ln -s "$rt/user/mine.reg" "$rt/shared/settings.reg"
  as_user ln -s "$rt/user/dir" "$rt/tmp/dirlink"
  check "the user's link in a group-writable sticky folder" 2 "$bin" --settings-file "$rt/shared/settings.reg" --set FPS=33 --save-settings
  one_line "the user's link in a group-writable sticky folder"
  ok "the link's file is untouched" grep -qx mine "$rt/user/mine.reg"
  check "the user's folder link in a shared folder" 2 "$bin" --settings-file "$rt/tmp/dirlink/settings.reg" --set FPS=33 --save-settings
  ok "nothing is made through the folder link" test -z "$(ls -A "$rt/user/dir")"
  # sudo with the user's HOME kept.
  mkdir "$rt/home"
  chown 65534:65534 "$rt/home"
  save_as_root "root saves with the user's HOME" 0 "$rt/home"
  ok "everything root made is the user's" test -z "$(find "$rt/home" ! -user 65534)"
  check "the user saves after root" 0 as_user env -u XDG_CONFIG_HOME HOME="$rt/home" "$bin" --set StarNumber=300 --save-settings
  check "both values kept" 0 env -u XDG_CONFIG_HOME HOME="$rt/home" "$bin" --show-settings
  ok "both values kept" grep -qx 'FPS=33' "$tmp/out"
  ok "both values kept" grep -qx 'StarNumber=300' "$tmp/out"
  f="$rt/home/.config/telkarim/settings.reg"
  printf 'bin\0ary' >"$f"
  chown 65534:65534 "$f"
  chmod 640 "$f"
  save_as_root "root saves over the user's damaged file" 0 "$rt/home"
  ok "the replacement keeps the damaged file's mode and owner" test "$(stat -c '%a %U' "$f")" = "640 nobody"
fi

echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
