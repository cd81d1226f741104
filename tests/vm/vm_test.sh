#!/usr/bin/env bash
# Boots Debian's kernel in QEMU with a floppy controller (a 2.88 MB and a 1.2 MB drive) and two
# USB floppy drives (the second one's diskettes are write-protected: QEMU cannot make a drive
# that was writable read-only by a change of medium), and runs tests/vm/guest_cases.sh there on this build's own binaries: the
# guest sees this machine's root read-only over 9p, and the source, build and work folders
# shared by themselves, so that they may be anywhere, under /tmp and /run too. The guest asks
# for diskettes to be changed or pulled out by writing a request file into the shared work
# folder; this script carries it out through QMP and answers with a file. Exit 77 (a skip)
# where QEMU cannot run, a failure under CI=true.
#
#   vm_test.sh SOURCE_DIR BUILD_DIR
# TAVREL_VM_CACHE (default ~/.cache/tavrel-vm) keeps the kernel and the initramfs between runs.
# TAVREL_VM_CASES (for example "2 10") runs only those cases. TAVREL_VM_SCRIPT runs another script
# under SOURCE_DIR in the guest instead of the cases (a benchmark: bench/vm_drives_bench.sh), with
# the words of TAVREL_VM_ARGS in the work folder's file args; TAVREL_VM_TIMEOUT (default 900)
# is how long the guest may take, in seconds.
set -uo pipefail
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
script=${TAVREL_VM_SCRIPT:-$src/tests/vm/guest_cases.sh}
case $script in "$src"/*) ;; *) echo "FAIL: $script is not under $src, which the guest sees"; exit 1 ;; esac
work=$build/vm-work
cache=${TAVREL_VM_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tavrel-vm}

skip() {
  echo "SKIP: $*"
  [ "${CI:-}" = true ] && { echo "CI=true and a facility is missing: $*"; exit 1; }
  exit 77
}

for tool in qemu-system-x86_64 busybox dpkg-deb mkfs.fat mcopy perl; do
  command -v "$tool" >/dev/null || skip "the VM tests need $tool (make test-deps installs it)"
done
busybox depmod --help >/dev/null 2>&1 || busybox 2>&1 | grep -qw depmod ||
  skip "the VM tests need busybox-static (with depmod and modprobe)"

# The kernel: Debian's current linux-image-amd64, fetched once and only unpacked.
mkdir -p "$cache" || skip "cannot create the cache folder $cache"
kdir=$(ls -d "$cache"/kernel-* 2>/dev/null | sort | tail -1)
if [ -z "$kdir" ]; then
  kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/ *Depends: \(linux-image-[0-9].*\)/\1/p' | head -1
  }
  pkg=$(kernel_package)
  # A fresh machine may have no package lists yet.
  [ -z "$pkg" ] && [ "$(id -u)" = 0 ] && apt-get update -qq >/dev/null 2>&1 && pkg=$(kernel_package)
  [ -n "$pkg" ] || skip "apt-cache knows no linux-image-amd64 (run apt-get update)"
  (cd "$cache" && apt-get download "$pkg" >/dev/null 2>&1) || skip "apt-get download $pkg failed"
  deb=$(ls "$cache"/"$pkg"_*.deb | head -1)
  kdir=$cache/kernel-${pkg#linux-image-}
  rm -rf "$kdir.tmp" && mkdir -p "$kdir.tmp" && dpkg-deb -x "$deb" "$kdir.tmp" &&
    mv "$kdir.tmp" "$kdir" && rm -f "$deb" || skip "cannot unpack $deb"
fi
kver=${kdir##*/kernel-}
vmlinuz=$kdir/boot/vmlinuz-$kver
[ -r "$vmlinuz" ] || skip "no kernel in $kdir"

# The initramfs: busybox and the drivers the cases need, with everything they depend on.
stamp=$(cat "$src/tests/vm/guest_init.sh" "$(command -v busybox)" | md5sum | cut -c1-12)
initrd=$cache/initramfs-$kver-$stamp.cpio.gz
if [ ! -s "$initrd" ]; then
  root=$(mktemp -d)
  mdir=lib/modules/$kver
  busybox depmod -b "$kdir" "$kver" 2>/dev/null || skip "busybox depmod failed on $kdir"
  want="floppy xhci-pci usb-storage sd_mod 9p 9pnet_virtio virtio_pci"
  mods=$(for m in $want; do
    line=$(grep -E "/${m//_/[-_]}\.ko:" "$kdir/$mdir/modules.dep")
    echo "${line%%:*} ${line#*:}"
  done | tr ' ' '\n' | sort -u | grep .)
  mkdir -p "$root/bin" "$root/proc" "$root/sys" "$root/dev" "$root/$mdir"
  cp "$(command -v busybox)" "$root/bin/busybox"
  for m in $mods; do
    mkdir -p "$root/$mdir/$(dirname "$m")" && cp "$kdir/$mdir/$m" "$root/$mdir/$m"
  done
  cp "$kdir/$mdir/modules.builtin" "$kdir/$mdir/modules.order" "$root/$mdir/"
  busybox depmod -b "$root" "$kver" || skip "busybox depmod failed on the initramfs"
  cp "$src/tests/vm/guest_init.sh" "$root/init" && chmod +x "$root/init"
  ln -s busybox "$root/bin/sh"
  (cd "$root" && find . | busybox cpio -o -H newc --quiet | gzip -1) >"$initrd.tmp" &&
    mv "$initrd.tmp" "$initrd"
  rm -rf "$root"
fi

# The diskettes: one of each format in the .tvl table and a second, different one for the
# expand cases.
rm -rf "$work" && mkdir -p "$work/img" "$work/req" "$work/ack" "$work/disk" || exit 1
make_image() {  # path kilobytes descriptor seed
  mkfs.fat -C -M "$3" "$1" "$2" >/dev/null || return 1
  for i in $(seq 1 200); do echo "Line $i of a file on a $2 KB diskette, copy $4."; done >"$work/t.txt"
  head -c $((20000 + $4 * 3000)) /dev/urandom >"$work/t.bin"
  MTOOLS_SKIP_CHECK=1 mcopy -i "$1" "$work/t.txt" "$work/t.bin" ::/ || return 1
  rm -f "$work/t.txt" "$work/t.bin"
}
for f in 360:0xFD 1200:0xF9 720:0xF9 1440F9:0xF9 1440F0:0xF0; do
  name=${f%%:*} kb=${name%F*}
  make_image "$work/img/$name-a.raw" "$kb" "${f#*:}" 1 && make_image "$work/img/$name-b.raw" "$kb" "${f#*:}" 2 ||
    { echo "FAIL: cannot make the $name images"; exit 1; }
done
dd if=/dev/zero of="$work/img/blank1440.raw" bs=1024 count=1440 status=none
# The formats outside the .tvl table, each sector but the boot sector filled with its own
# cylinder, head and sector: read with a wrong layout, a sector holds another one's stamp.
stamp() {  # path heads sectors-per-track
  perl -e 'my ($path, $heads, $sectors) = @ARGV;
    open(my $f, "+<:raw", $path) or die "$path: $!";
    for my $n (1 .. (-s $path) / 512 - 1) {
      my $stamp = sprintf("C%02d H%d S%02d ", int($n / ($heads * $sectors)), int($n / $sectors) % $heads, $n % $sectors + 1);
      seek($f, $n * 512, 0) && print $f substr($stamp x 52, 0, 512) or die "$path: $!";
    }
    close($f) or die "$path: $!";' "$@"
}
for f in dmf:1680:0xF0:2/21 1722:1722:0xF0:2/21 160:160:0xFE:1/8 320:320:0xFF:2/8 2880:2880:0xF0:2/36; do
  IFS=: read -r name kb descriptor geometry <<<"$f"
  mkfs.fat -C -g "$geometry" -M "$descriptor" "$work/img/$name.raw" "$kb" >/dev/null &&
    stamp "$work/img/$name.raw" "${geometry%/*}" "${geometry#*/}" || { echo "FAIL: cannot make the $name image"; exit 1; }
done
cp "$work/img/1440F0-a.raw" "$work/disk/fd0.raw"
printf %s "${TAVREL_VM_CASES:-}" >"$work/cases"
printf %s "${TAVREL_VM_ARGS:-}" >"$work/args"

mkfifo "$work/qmp.in" "$work/qmp.out" || exit 1
# The guest mounts fresh file systems on /tmp and /run over the host's root, which would hide
# folders there: the three folders it needs are shared again by themselves and mounted after,
# a parent before its children (shorter paths first). The kernel's command line ends a value
# at a space.
case "$src$build$script" in *[[:space:],]*) skip "the VM test needs folder names without spaces or commas" ;; esac
shares=$(printf '%s\n' "src:$src" "build:$build" "work:$work" | awk '{ p = $0; sub(/^[^:]*:/, "", p); print length(p), $0 }' |
  sort -n | cut -d' ' -f2- | paste -sd,)
# fd0 is a 2.88 MB drive, which reads the 720 KB and 1.44 MB diskettes as well: QEMU's
# controller serves a 2.88 MB one only to a drive of that type.
# KVM is not usable on these machines (a guest hangs before its first line): TCG only.
qemu-system-x86_64 -machine pc -accel tcg -m 768 -smp 1 -nodefaults -no-reboot \
  -display none -serial "file:$work/console.log" \
  -kernel "$vmlinuz" -initrd "$initrd" \
  -append "console=ttyS0 panic=-1 no_timer_check tavrel_work=$work tavrel_script=$script tavrel_shares=$shares" \
  -chardev "pipe,id=qmp,path=$work/qmp" -mon chardev=qmp,mode=control \
  -virtfs "local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap" \
  -virtfs "local,path=$src,mount_tag=src,security_model=none,readonly=on,multidevs=remap" \
  -virtfs "local,path=$build,mount_tag=build,security_model=none,readonly=on,multidevs=remap" \
  -virtfs "local,path=$work,mount_tag=work,security_model=none" \
  -drive "if=none,id=d0,file=$work/disk/fd0.raw,format=raw" \
  -device floppy,unit=0,drive=d0,drive-type=288,id=fdd0 \
  -drive if=none,id=d1 -device floppy,unit=1,drive=d1,drive-type=120,id=fdd1 \
  -device qemu-xhci,id=xhci \
  -drive if=none,id=u0,rerror=report,werror=report \
  -device usb-storage,bus=xhci.0,port=1,drive=u0,removable=on,id=usb0 \
  -drive if=none,id=u1,readonly=on \
  -device usb-storage,bus=xhci.0,port=2,drive=u1,removable=on,id=usb1 \
  >"$work/qemu.log" 2>&1 &
qemu=$!
# Killed from outside (a test's timeout, Ctrl+C), the script takes QEMU with it: a QEMU left
# running holds the diskette images.
trap 'kill "$qemu" 2>/dev/null' EXIT
trap 'exit 1' INT TERM HUP
exec 3>"$work/qmp.in" 4<"$work/qmp.out"

# One QMP command; prints its answer (events before it are dropped).
qmp() {
  echo "$1" >&3
  local line
  while read -r -t 60 line <&4; do
    case $line in *'"return"'* | *'"error"'*) echo "$line"; return 0 ;; esac
  done
  echo '{"error": "no answer from QEMU"}'
}
read -r -t 60 greeting <&4 || { echo "FAIL: QEMU did not start"; cat "$work/qemu.log"; exit 1; }
qmp '{"execute":"qmp_capabilities"}' >/dev/null

# Requests: "insert DEVICE FILE ro|rw", "insertbad DEVICE RULES FILE" (blkdebug's bad sectors),
# "eject DEVICE", "throttle DEVICE BYTES-PER-SECOND", "pull DEVICE" (no limit, then eject: QEMU's
# floppy controller hangs when a throttled diskette is ejected).
insert() {  # device file ro|rw node-or-json
  local mode=read-write
  [ "$3" = ro ] && mode=read-only
  qmp "{\"execute\":\"blockdev-change-medium\",\"arguments\":{$(target "$1"),\"filename\":\"$4\",\"format\":\"raw\",\"read-only-mode\":\"$mode\",\"force\":true}}"
}
# The floppy drives by their device's id; the USB drive's disk is inside usb-storage, reached
# by its drive's name.
target() { [[ $1 == fdd* ]] && echo "\"id\":\"$1\"" || echo "\"device\":\"$1\""; }
handle() {
  set -- $1
  case $1 in
    insert) insert "$2" "$3" "$4" "$3" ;;
    insertbad) insert "$2" "$4" rw "blkdebug:$3:$4" ;;
    eject) qmp "{\"execute\":\"eject\",\"arguments\":{$(target "$2"),\"force\":true}}" ;;
    pull) throttle "$2" 0 >/dev/null && qmp "{\"execute\":\"eject\",\"arguments\":{$(target "$2"),\"force\":true}}" ;;
    throttle) throttle "$2" "$3" ;;
    *) echo "{\"error\": \"unknown request $1\"}" ;;
  esac
}
throttle() {  # device bytes-per-second (0: no limit)
  qmp "{\"execute\":\"block_set_io_throttle\",\"arguments\":{$(target "$1"),\"bps\":0,\"bps_rd\":$2,\"bps_wr\":$2,\"iops\":0,\"iops_rd\":0,\"iops_wr\":0}}"
}

deadline=$((SECONDS + ${TAVREL_VM_TIMEOUT:-900}))
while kill -0 "$qemu" 2>/dev/null; do
  if [ $SECONDS -gt $deadline ]; then
    echo "FAIL: the guest did not finish in time"
    kill "$qemu"
    break
  fi
  for r in "$work"/req/*; do
    n=${r##*/}
    [ -e "$r" ] && [ "${n%.tmp}" = "$n" ] || continue
    [ -e "$work/ack/$n" ] && continue
    answer=$(handle "$(cat "$r")")
    echo "request $n: $(cat "$r") -> $answer" >>"$work/requests.log"
    echo "$answer" >"$work/ack/$n.tmp" && mv "$work/ack/$n.tmp" "$work/ack/$n"
  done
  # Waits for the next request or the guest's end; the request files are the only signal.
  read -r -t 0.2 <&4 || true
done
wait "$qemu"
trap - EXIT

echo "--- guest log"
cat "$work/guest.log" 2>/dev/null
grep -q "tavrel-vm: guest up" "$work/console.log" 2>/dev/null || {
  echo "--- console"
  tail -40 "$work/console.log"
}
pass=$(grep -c '^PASS' "$work/guest.log" 2>/dev/null)
fail=$(grep -c '^FAIL' "$work/guest.log" 2>/dev/null)
grep -q '^ALL CASES RAN' "$work/guest.log" 2>/dev/null || { echo "the guest did not run every case"; fail=$((fail + 1)); }
echo "vm: $pass passed, $fail failed"
[ "$fail" -eq 0 ] && [ "$pass" -gt 0 ]
