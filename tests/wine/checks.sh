# Sourced by the Wine test scripts: the PASS/FAIL/SKIP lines they print and
# the one-line summary the test command reads.
passed=0 failed=0 skipped=0
xvfb_pid=""
started=$SECONDS

pass() { echo "PASS: $*"; passed=$((passed + 1)); }
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }
skip() { echo "SKIP: $*"; skipped=$((skipped + 1)); }
check() { local what=$1; shift; if "$@"; then pass "$what"; else fail "$what"; fi; }
summary() {
  [ "$skipped" -gt 0 ] && echo "$skipped skipped"
  echo "$passed passed, $failed failed ($((SECONDS - started)) s)"
}
