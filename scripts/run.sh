#!/usr/bin/env bash
# Starts the emulated devices on a private bus folder, then the program against
# them. Without a display the program runs offscreen and writes screenshots.
set -euo pipefail
BUILD=${1:-build}
BIN=$(cd "$BUILD/bin" && pwd)
export KORVALE_VHID_DIR=$(mktemp -d /tmp/korvale-run-XXXXXX)
chmod 700 "$KORVALE_VHID_DIR"
EMU_PID=""
cleanup() {
  [ -n "$EMU_PID" ] && kill "$EMU_PID" 2>/dev/null && wait "$EMU_PID" 2>/dev/null
  rm -rf "$KORVALE_VHID_DIR"
}
trap cleanup EXIT

if [ -x "$BIN/korvale-emu" ]; then
  # The emulator keeps running until we close its standard input.
  coproc EMU { exec "$BIN/korvale-emu" --dir "$KORVALE_VHID_DIR"; }
  EMU_PID=$EMU_PID
  # Wait until it has announced every device it serves.
  for _ in $(seq 1 50); do
    [ "$(ls "$KORVALE_VHID_DIR"/*.sock 2>/dev/null | wc -l)" -ge 1 ] && break
    sleep 0.1
  done
  sleep 0.2
fi

if [ -x "$BIN/korvale" ]; then
  if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    SHOTS="$BUILD/screenshots"
    mkdir -p "$SHOTS"
    # korvale prints the path of each screenshot it writes.
    QT_QPA_PLATFORM=offscreen "$BIN/korvale" --screenshots "$SHOTS" --screenshot-delay 1500
  else
    "$BIN/korvale"
  fi
else
  "$BIN/korvalectl" interfaces
fi
