#!/bin/bash
# Runs inside the virtual machine of scripts/vmtest.sh, as root in a chroot of
# the host's root: real udevd with our rule, the emulated devices as kernel
# HID devices, then korvalectl and the window against their hidraw nodes.
# One line per step; the exit status is the number of failed steps.
SRC=$1
BUILD=$2
MODE=${3:-test}  # "bench": the figures only
BIN=$BUILD/bin
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
export HOME=/tmp/home XDG_RUNTIME_DIR=/tmp/run XDG_DATA_HOME=/tmp/home/data XDG_CONFIG_HOME=/tmp/home/config
export KORVALE_VHID_DIR=/tmp/no-bus QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 LSAN_OPTIONS=suppressions=$SRC/tests/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$KORVALE_VHID_DIR" && chmod 700 "$XDG_RUNTIME_DIR" "$KORVALE_VHID_DIR"
cd /tmp

failed=0
LOG=/tmp/step.log
now() { cut -d' ' -f1 /proc/uptime; }
# step NAME COMMAND...: runs the command, prints one line, shows its output on failure.
step() {
  local name=$1 t0 rc
  shift
  t0=$(now)
  "$@" > "$LOG" 2>&1
  rc=$?
  if [ $rc -eq 0 ]; then
    printf 'vmtest: ok   %-28s %5.2f s\n' "$name" "$(awk -v a="$t0" -v b="$(now)" 'BEGIN { print b - a }')"
  else
    failed=$((failed + 1))
    printf 'vmtest: FAIL %-28s (exit %d)\n' "$name" "$rc"
    sed 's/^/    /' "$LOG" | tail -40
  fi
  return $rc
}
# until_ok SECONDS COMMAND...: retries the command until it succeeds or time runs out.
until_ok() {
  local end=$(( $(date +%s) + $1 ))
  shift
  until "$@"; do
    [ "$(date +%s)" -ge "$end" ] && return 1
    sleep 0.1
  done
}
ctl() { "$BIN/korvalectl" "$@"; }

start_udevd() {
  mkdir -p /run/udev/rules.d
  cp "$SRC/data/udev/70-korvale.rules" /run/udev/rules.d/
  SYSTEMD_IGNORE_CHROOT=1 /lib/systemd/systemd-udevd --daemon || return 1
  until_ok 10 udevadm control --ping
}

EMU_PID=
start_emulator() {
  mkfifo /tmp/emu.in
  "$BIN/korvale-emu" --uhid < /tmp/emu.in > /tmp/emu.out 2>&1 &
  EMU_PID=$!
  exec 3> /tmp/emu.in
  until_ok 10 grep -q '^headset .* uhid$' /tmp/emu.out || { cat /tmp/emu.out; return 1; }
  cat /tmp/emu.out
}
emu() {  # one stdin command; waits for its answer
  local before
  before=$(grep -c '^ok \|^error' /tmp/emu.out)
  echo "$*" >&3
  until_ok 5 test "$(grep -c '^ok \|^error' /tmp/emu.out)" -gt "$before" || return 1
  tail -1 /tmp/emu.out | grep -q '^ok '
}

four_devices() {
  local out
  out=$(ctl list) || return 1
  for p in keyboard mouse mousepad headset; do grep -q "^$p " <<< "$out" || return 1; done
}
first_list() {
  until_ok 30 four_devices || { ctl list; ls -l /dev/hidraw*; return 1; }
  echo "vmtest: first list answer at $(now) s of guest uptime"
  ctl list
}

# Our interfaces as the kernel presents them: every supported row once, the
# foreign device listed without a row.
check_interfaces() {
  ctl interfaces --json > /tmp/interfaces.json || return 1
  python3 - /tmp/interfaces.json <<'PY'
import json, sys
items = json.load(open(sys.argv[1]))["data"]["interfaces"]
for i in items:
    print(i["path"], i["backend"], i["row"])
rows = sorted(i["row"] for i in items if i["row"] is not None)
assert rows == [0, 1, 6, 7, 8, 9, 10], f"rows {rows}"
assert all(i["backend"] == "hidraw" for i in items), "not all on hidraw"
foreign = [i for i in items if i["vendorId"] == 0x1234]
assert len(foreign) == 1 and foreign[0]["row"] is None, "foreign device"
PY
}

# Every hidraw node of ours carries the rule's tag, no other one does.
check_tags() {
  local n ours=0 bad=0 id tags
  for n in /sys/class/hidraw/hidraw*; do
    id=$(grep '^HID_ID=' "$n/device/uevent")
    tags=$(udevadm info -q property -n "/dev/$(basename "$n")" | grep '^TAGS=')
    echo "$(basename "$n") $id $tags"
    case "$id" in
      *:0000320F:*|*:00000C76:*) ours=$((ours + 1)); grep -q ':uaccess:' <<< "$tags" || bad=1 ;;
      *) grep -q ':uaccess:' <<< "$tags" && bad=1 ;;
    esac
  done
  [ $ours -eq 4 ] && [ $bad -eq 0 ]
}

info_all() {
  local p
  for p in keyboard mouse MousePad HD; do ctl info "$p" || return 1; done
}

# A lighting change on every device; the keyboard's must also read back.
lighting() {
  local p
  ctl lighting keyboard --effect vertical-wave --color 12ab34 || return 1
  ctl --json info keyboard | tee /dev/stderr | grep -q '"color" : "12ab34"' || return 1
  for p in mouse MousePad HD; do ctl lighting "$p" --speed 1 --color 12ab34 || return 1; done
}

hotplug() {
  emu unplug keyboard || return 1
  until_ok 10 bash -c "! '$BIN/korvalectl' list | grep -q '^keyboard '" || return 1
  emu plug keyboard || return 1
  until_ok 10 four_devices
}

# Not root: the nodes stay root's (no login seat gives the uaccess ACL here),
# so korvalectl must name the node and the rule, with exit status 4.
permission_denied() {
  local out rc
  mkdir -p /tmp/nobody && chmod 777 /tmp/nobody
  out=$(HOME=/tmp/nobody XDG_RUNTIME_DIR=/tmp/nobody XDG_DATA_HOME=/tmp/nobody/data XDG_CONFIG_HOME=/tmp/nobody/config \
        setpriv --reuid=65534 --regid=65534 --clear-groups "$BIN/korvalectl" list 2>&1)
  rc=$?
  echo "$out"
  [ $rc -eq 4 ] && grep -q '/dev/hidraw[0-9]*.*permission denied' <<< "$out" && grep -q '70-korvale.rules' <<< "$out"
}

# The window as that user: the overlay names the node instead of "no device".
window_denied() {
  local out
  out=$(HOME=/tmp/nobody XDG_RUNTIME_DIR=/tmp/nobody XDG_DATA_HOME=/tmp/nobody/data XDG_CONFIG_HOME=/tmp/nobody/config \
        KORVALE_TRACE=1 setpriv --reuid=65534 --regid=65534 --clear-groups \
        timeout 120 "$BIN/korvale" --screenshots /tmp/nobody/shots --screenshot-delay 0 2>&1)
  grep 'may not be opened' <<< "$out" || { tail -30 <<< "$out"; return 1; }
  [ -s /tmp/nobody/shots/main.png ]
}

window() {
  rm -rf /tmp/shots
  KORVALE_TRACE=1 timeout 120 "$BIN/korvale" --screenshots /tmp/shots --screenshot-delay 300 2>&1 | grep -v '^==' | tail -60
  [ "${PIPESTATUS[0]}" -eq 0 ] || return 1
  ls -l /tmp/shots
  # The main window, and the keyboard's page (the only page built so far).
  [ -s /tmp/shots/main.png ] && [ "$(ls /tmp/shots/page-*.png 2>/dev/null | wc -l)" -ge 1 ]
}

if [ "$MODE" = bench ]; then
  step "udevd with 70-korvale.rules" start_udevd
  step "korvale-emu --uhid" start_emulator
  step "korvalectl list (first answer)" first_list && grep '^vmtest: first list' "$LOG"
  echo quit >&3
  wait "$EMU_PID" 2>/dev/null
  # Through udev, then on the bus in the same machine for comparison.
  KORVALE_BENCH_UHID=1 "$BIN/bench_discovery" 2>&1 | sed 's/^/vmtest: bench uhid: /'
  [ "${PIPESTATUS[0]}" -eq 0 ] || failed=$((failed + 1))
  "$BIN/bench_discovery" 2>&1 | grep PlugToTile | sed 's/^/vmtest: bench bus: /'
  [ "${PIPESTATUS[0]}" -eq 0 ] || failed=$((failed + 1))
  exit $failed
fi

step "udevd with 70-korvale.rules" start_udevd
step "foreign uhid device" bash -c "python3 '$SRC/tests/vm/foreign_uhid.py' > /tmp/foreign.out 2>&1 & until grep -q created /tmp/foreign.out; do sleep 0.1; done"
step "korvale-emu --uhid" start_emulator
step "hidraw unit tests on uhid" "$BIN/uhid_tests"
step "korvalectl list (first answer)" first_list && grep '^vmtest: first list' "$LOG"
step "korvalectl interfaces --json" check_interfaces
step "udev tags on hidraw nodes" check_tags
step "korvalectl info, every device" info_all
step "lighting change (every device)" lighting
step "hotplug unplug/plug" hotplug
step "permission denied is exit 4" permission_denied
step "window: permission denied shown" window_denied
step "window offscreen screenshots" window

echo quit >&3
wait "$EMU_PID" 2>/dev/null
exit $failed
