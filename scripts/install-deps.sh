#!/usr/bin/env bash
# Installs the Debian packages Tavrel builds and tests with, if any is missing.
# Run as root (CI and the development machines are); otherwise it prints what to run.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev libsimpleini-dev libgcrypt20-dev
  libtsk-dev nlohmann-json3-dev libxml2-dev sleuthkit
  dosfstools mtools locales libc-l10n util-linux
  fuse3 libfuse3-dev gddrescue
  hyperfine zstd lz4 gzip time
  clang libclang-rt-14-dev
  qt6-base-dev qt6-svg-dev xvfb xauth xdotool
  scdoc dpkg-dev fakeroot file lintian man-db desktop-file-utils appstream shared-mime-info
  bash-completion libglib2.0-bin
  qemu-system-x86 busybox-static
  libsystemd-dev udisks2 polkitd dbus-daemon udev e2fsprogs strace
  g++-mingw-w64-x86-64-posix wine wine64 fonts-wine zip icoutils librsvg2-bin python3
  # The box report as a browser shows it (make screenshots).
  chromium
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Not root. Run: sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
