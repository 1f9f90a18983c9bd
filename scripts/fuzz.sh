#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default
# 30). A longer run: scripts/fuzz.sh 3600. Findings are left as crash-* files
# in build/fuzz/findings and fail the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)"
mkdir -p build/fuzz/findings
status=0
for corpus in fuzz/corpus/*/; do
  name=$(basename "$corpus")
  work=build/fuzz/corpus-$name
  mkdir -p "$work"
  echo "== fuzz_$name for ${seconds}s"
  if ! build/fuzz/fuzz/fuzz_"$name" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix=build/fuzz/findings/"$name"- "$work" "$corpus" 2>build/fuzz/"$name".log; then
    status=1
    tail -n 30 build/fuzz/"$name".log
  fi
  grep -E 'stat::number_of_executed_units|cov:' build/fuzz/"$name".log | tail -n 2 || true
done
exit $status
