#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and `make run` need.
# Idempotent: does nothing when every package is already there.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libjsoncpp-dev libudev-dev libtinyxml2-dev
  qt6-base-dev libgl-dev libfontconfig-dev
  fonts-noto-core dbus-daemon python3 python3-jsonschema
  libpulse-dev libkissfft-dev pulseaudio lsp-plugins-ladspa
  qemu-system-x86 busybox-static udev cpio kmod xz-utils
  desktop-file-utils appstream librsvg2-bin
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
