#!/usr/bin/env bash
# Runs every benchmark program of the build.
set -euo pipefail
BUILD=${1:-build}
shopt -s nullglob
for b in "$BUILD"/bin/bench_*; do
  echo "== $(basename "$b")"
  "$b" --benchmark_min_time=0.2
done
