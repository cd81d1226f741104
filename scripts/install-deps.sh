#!/usr/bin/env bash
# Installs the Debian packages Tavrel needs, those that are missing:
#   scripts/install-deps.sh          what make build, make run and make package need (make deps)
#   scripts/install-deps.sh --test   what only the tests, make screenshots, the Windows build
#                                    (make windows), the VM test and the benchmarks need
#                                    (make test-deps); make test wants both
# Run as root (CI and the development machines are); otherwise it prints the line to run as
# root and fails. Building and running Tavrel need no root.
set -euo pipefail

build=(
  cmake g++ make pkg-config
  libcli11-dev libsimpleini-dev libgcrypt20-dev libsystemd-dev
  libtsk-dev nlohmann-json3-dev libxml2-dev
  qt6-base-dev qt6-svg-dev
  # Every build builds the tests and benchmarks too (TAVREL_BUILD_TESTS, TAVREL_BUILD_BENCH):
  # their libraries, FUSE's for the tests' slow and faulty drives among them.
  libgtest-dev libgmock-dev libbenchmark-dev libfuse3-dev
  # The man pages.
  scdoc gzip
  # make run: a FAT diskette made and filled.
  dosfstools mtools
  # make package: CPack's Debian generator asks dpkg-shlibdeps and file.
  dpkg-dev file
)

tests=(
  # Drives and files: loop devices, FUSE drives, the German locale, GNU ddrescue beside rescue,
  # The Sleuth Kit's file walker beside files, Python for reading JSON and XML.
  util-linux fuse3 locales libc-l10n gddrescue sleuthkit python3
  # The dialog and the screenshots on a bare X server; the box report as a browser shows it.
  xvfb xauth xdotool chromium
  # The package installed and judged, its desktop entry, metainfo, MIME type and completion.
  fakeroot lintian man-db desktop-file-utils appstream shared-mime-info bash-completion
  libglib2.0-bin
  # UDisks2 and polkit on a D-Bus and udev of the test's own.
  udisks2 polkitd dbus-daemon udev e2fsprogs strace
  # The test machine (make bench-vm, the VM test).
  qemu-system-x86 busybox-static
  # The Windows build, its resources and zip (col renders the man page), and its tests.
  g++-mingw-w64-x86-64-posix icoutils librsvg2-bin zip bsdextrautils wine wine64 fonts-wine
  # Fuzzing (libFuzzer).
  clang libclang-rt-14-dev
  # The benchmarks' peers and GNU time.
  hyperfine zstd lz4 time
)

case "${1:-}" in
  "") packages=("${build[@]}") ;;
  --test) packages=("${tests[@]}") ;;
  *) echo "usage: $0 [--test]" >&2; exit 64 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing: ${missing[*]}. Run as root:" >&2
  echo "sudo apt-get update && sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
