#!/usr/bin/env bash
# usage: configure_test.sh SOURCE_DIR
# Without Qt 6 the configuration stops with a message that says what to do,
# unless the window is turned off on purpose.
set -uo pipefail
src=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# name | extra options | expected exit (0 or 1) | text the output must hold
cases=(
  "no Qt|-DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON|1|-DKORVALE_WINDOW=OFF"
  "no Qt, window off|-DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON -DKORVALE_WINDOW=OFF|0|Build files have been written"
)
for c in "${cases[@]}"; do
  IFS='|' read -r name opts want text <<<"$c"
  dir=$work/$RANDOM
  # shellcheck disable=SC2086
  cmake -S "$src" -B "$dir" -G Ninja -DKORVALE_TESTS=OFF -DKORVALE_BENCH=OFF $opts >"$work/log" 2>&1
  rc=$?
  [ "$rc" -ne 0 ] && rc=1
  [ "$rc" = "$want" ] || { cat "$work/log"; fail "$name: exit $rc, expected $want"; }
  grep -qF -- "$text" "$work/log" || fail "$name: the output lacks \"$text\""
  if [ "$want" = 0 ] && grep -q 'korvale_qtview\|libQt6' "$dir/build.ninja"; then
    fail "$name: the build still uses Qt"
  fi
done
[ $failures -eq 0 ] || exit 1
echo "ok: configure cases"
