#!/usr/bin/env bash
# Runs every libFuzzer harness for a bounded time, each with its own corpus
# folder under the build tree (seeded from fuzz/corpus/<name> when present).
set -euo pipefail
BUILD=${1:-build-fuzz}
SECONDS_EACH=${2:-30}
shopt -s nullglob
for f in "$BUILD"/bin/fuzz_*; do
  name=$(basename "$f")
  corpus="$BUILD/corpus/$name"
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
  echo "== $name (${SECONDS_EACH}s)"
  "$f" -max_total_time="$SECONDS_EACH" -print_final_stats=1 "$corpus" "${seeds[@]}" 2>&1 | grep -E 'stat::number_of_executed_units|stat::peak_rss|ERROR|SUMMARY|Done' || true
done
