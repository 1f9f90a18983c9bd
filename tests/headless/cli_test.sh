#!/usr/bin/env bash
# The program's command line as a user meets it: exit statuses, one-line
# errors, byte-identical renders.
set -u
bin=$1
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
check unknown-letter 255 "$bin" /x
check show-settings 0 "$bin" --show-settings --settings-file "$tmp/s.reg" --set StarNumber=321
if grep -qx 'StarNumber=321' "$tmp/out" && grep -qx 'StarColor=0x00ff9070' "$tmp/out"; then pass=$((pass + 1)); else
  fail=$((fail + 1)); echo "FAIL show-settings:"; cat "$tmp/out"; fi
echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
