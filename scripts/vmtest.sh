#!/usr/bin/env bash
# make vmtest: the programs against real kernel HID devices. Boots Debian's own
# kernel under QEMU (TCG: no hardware virtualisation needed) with this
# machine's root file system mounted read-only over 9p, and runs
# tests/vm/guest.sh inside it: udevd with our rule, korvale-emu --uhid,
# korvalectl and the window. The guest's exit status comes back through
# QEMU's isa-debug-exit device. The kernel and its modules are cached under
# BUILD/vm (delete the folder to fetch them again).
#   scripts/vmtest.sh [BUILD]        (default build-test)
#   scripts/vmtest.sh BUILD bench    the figures instead of the checks: boot to
#     the first korvalectl list answer, and bench_discovery's plug-to-tile
#     through real udev events (BUILD must hold the benchmark programs)
set -euo pipefail
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-$SRC/build-test}" && pwd)
MODE=${2:-test}
VM=$BUILD/vm
TIMEOUT=${KORVALE_VM_TIMEOUT:-420}
mkdir -p "$VM"

say() { echo "vmtest: $*"; }
since() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }'; }
die() { say "FAIL $*"; exit 1; }

for tool in qemu-system-x86_64 busybox cpio gzip apt-get dpkg-deb depmod modprobe python3; do
  command -v "$tool" >/dev/null || die "$tool is missing (run scripts/install-deps.sh)"
done
[ -x "$BUILD/bin/korvale-emu" ] && [ -x "$BUILD/bin/korvalectl" ] || die "build $BUILD first"

# --- the kernel and its modules, cached -------------------------------------
KDIR=$VM/kernel
if [ ! -f "$KDIR/ready" ]; then
  rm -rf "$KDIR"
  mkdir -p "$KDIR"
  kernel_package() { apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}'; }
  pkg=$(kernel_package)
  if [ -z "$pkg" ]; then
    $([ "$(id -u)" -ne 0 ] && echo sudo) apt-get update -qq && pkg=$(kernel_package)
  fi
  [ -n "$pkg" ] || die "apt knows no linux-image-amd64 (apt-get update first)"
  (cd "$KDIR" && apt-get download -qq "$pkg" 2>/dev/null) || die "cannot download $pkg"
  dpkg-deb -x "$KDIR"/"$pkg"_*.deb "$KDIR/root"
  rm -f "$KDIR"/*.deb
  kver=$(ls "$KDIR/root/lib/modules" | head -1)
  depmod -b "$KDIR/root" "$kver"
  cp "$KDIR/root/boot/vmlinuz-$kver" "$KDIR/bzImage"
  # The uncompressed ELF boots through QEMU's PVH entry, seconds sooner than
  # the bzImage's decompressor under TCG.
  python3 - "$KDIR/bzImage" "$KDIR/vmlinux" <<'PY' || rm -f "$KDIR/vmlinux"
import lzma, sys
data = open(sys.argv[1], "rb").read()
at = data.find(b"\xfd7zXZ\x00")
if at < 0:
    sys.exit(1)
elf = lzma.LZMADecompressor().decompress(data[at:])
if elf[:4] != b"\x7fELF":
    sys.exit(1)
open(sys.argv[2], "wb").write(elf)
PY
  echo "$kver" > "$KDIR/ready"
fi
kver=$(cat "$KDIR/ready")

# --- the initramfs: busybox, the modules in load order, /init ---------------
IRD=$VM/initramfs
rm -rf "$IRD"
mkdir -p "$IRD"/{bin,dev,proc,sys,mnt,lib/modules}
cp "$(command -v busybox)" "$IRD/bin/busybox"
: > "$IRD/modules"
n=0
while read -r verb path _; do
  [ "$verb" = insmod ] || continue
  n=$((n + 1))
  name=$(printf '%02d-%s' "$n" "$(basename "${path%.xz}")")
  case "$path" in
    *.xz) xz -dc "$path" > "$IRD/lib/modules/$name" ;;
    *) cp "$path" "$IRD/lib/modules/$name" ;;
  esac
  echo "$name" >> "$IRD/modules"
done < <(for m in virtio_pci 9pnet_virtio 9p uhid hid_generic; do
           modprobe -d "$KDIR/root" -S "$kver" --show-depends "$m"
         done | awk '!seen[$0]++')
cat > "$IRD/init" <<INIT
#!/bin/busybox sh
/bin/busybox --install -s /bin
echo
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in \$(cat /modules); do insmod /lib/modules/\$m 2>/dev/null || echo "vmtest: cannot load \$m"; done
status=1
if mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,cache=loose,ro host /mnt; then
  mount -t proc proc /mnt/proc
  mount -t sysfs sys /mnt/sys
  mount -t devtmpfs dev /mnt/dev
  mount -t tmpfs run /mnt/run
  mount -t tmpfs tmp /mnt/tmp
  chroot /mnt /bin/bash "$SRC/tests/vm/guest.sh" "$SRC" "$BUILD" "$MODE"
  status=\$?
else
  echo "vmtest: cannot mount the host's root"
fi
# isa-debug-exit: QEMU ends with (status << 1) | 1.
printf "\\\\\$(printf %o \$status)" | dd of=/dev/port bs=1 seek=244 count=1 2>/dev/null
poweroff -f
INIT
chmod +x "$IRD/init"
(cd "$IRD" && find . | cpio -o -H newc --quiet) | gzip -1 > "$VM/initramfs.gz"

# --- boot ---------------------------------------------------------------------
kernel=$KDIR/vmlinux
[ -f "$kernel" ] || kernel=$KDIR/bzImage
say "booting $kver ($(basename "$kernel")) under TCG"
started=$(date +%s.%N)
set +e
timeout --kill-after=5 "$TIMEOUT" qemu-system-x86_64 \
  -machine pc -accel tcg -cpu max -smp 1 -m 2048 \
  -nographic -nic none -no-reboot -serial stdio -monitor none \
  -kernel "$kernel" -initrd "$VM/initramfs.gz" \
  -append "console=ttyS0 quiet loglevel=3 panic=-1 no_timer_check rdinit=/init" \
  -fsdev local,id=hostroot,path=/,security_model=none,readonly=on,multidevs=remap \
  -device virtio-9p-pci,fsdev=hostroot,mount_tag=host \
  -device isa-debug-exit,iobase=0xf4,iosize=0x04 \
  < /dev/null 2>&1 | while IFS= read -r line; do
    line=${line%$'\r'}
    printf '%s\n' "$line"
    case "$line" in
      "vmtest: first list answer"*) say "host: first list answer $(since "$started") s after QEMU started" ;;
    esac
  done
rc=${PIPESTATUS[0]}
set -e
if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then die "the virtual machine did not finish within ${TIMEOUT} s"; fi
if [ $((rc & 1)) -eq 0 ]; then die "the virtual machine stopped without a status (QEMU exit $rc)"; fi
status=$((rc >> 1))
[ "$status" -eq 0 ] || die "$status step(s) failed in the virtual machine"
say "all steps passed ($(since "$started") s)"
