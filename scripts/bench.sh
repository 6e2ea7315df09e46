#!/usr/bin/env bash
# Runs every benchmark program of the build, headless, each with a deadline,
# then prints one table of the figures against bench/goals.tsv.
set -uo pipefail
BUILD=${1:-build}
HERE="$(cd "$(dirname "$0")/.." && pwd)"
OUT="$BUILD/bench-results"
rm -rf "$OUT"
mkdir -p "$OUT"
# No display needed: Qt draws offscreen into real backing stores.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then export QT_QPA_PLATFORM=offscreen; fi
shopt -s nullglob
failed=()
for b in "$BUILD"/bin/bench_*; do
  name=$(basename "$b")
  echo "== $name"
  if ! timeout --kill-after=10 "${BENCH_TIMEOUT:-900}" "$b" --benchmark_min_time=0.2 \
      --benchmark_out="$OUT/$name.json" --benchmark_out_format=json; then
    failed+=("$name")
  fi
done
echo
echo "== summary (figures against bench/goals.tsv)"
python3 "$HERE/scripts/bench_summary.py" "$OUT" "$HERE/bench/goals.tsv"
if [ ${#failed[@]} -gt 0 ]; then
  echo "did not finish: ${failed[*]}"
  exit 1
fi
