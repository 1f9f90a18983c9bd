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
for bad in "--size" "--size 0x0" "--size 100000x100000" "--seconds -3" "--seconds x" "--seed -1" \
           "--format 7" "--every 0" "--set Nope=1" "--set StarNumber=40" "--set FPS=abc" "--bogus" "--render"; do
  # shellcheck disable=SC2086
  check "bad: $bad" 2 "$bin" $bad
  lines=$(wc -l <"$tmp/err")
  if head -n1 "$tmp/err" | grep -q '^telkarim: '; then pass=$((pass + 1)); else
    fail=$((fail + 1)); echo "FAIL bad '$bad' printed no error line"; fi
  : "$lines"
done
check unwritable 2 "$bin" --render /nonexistent/dir/x.png --seconds 1
if ls /nonexistent/dir 2>/dev/null | grep -q .; then fail=$((fail + 1)); fi
check help 0 "$bin" --help
check unknown-letter 255 "$bin" /x
check show-settings 0 "$bin" --show-settings --settings-file "$tmp/s.reg" --set StarNumber=321
if grep -qx 'StarNumber=321' "$tmp/out" && grep -qx 'StarColor=0x00ff9070' "$tmp/out"; then pass=$((pass + 1)); else
  fail=$((fail + 1)); echo "FAIL show-settings:"; cat "$tmp/out"; fi
echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
