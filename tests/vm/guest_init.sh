#!/bin/sh
# /init of the test machine (busybox): loads the drivers, mounts the host's root read-only over
# 9p, then its own /dev, /proc, /sys and fresh /tmp and /run over it, then the source, build and
# work folders, each shared by itself (tavrel_shares=TAG:PATH,..., a parent before its children),
# so that a build under /tmp or /run is not hidden by the fresh ones; runs the case script
# chrooted into the host's root. Powers off when the script ends.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in virtio_pci 9pnet_virtio 9p floppy xhci_pci usb_storage sd_mod; do
  modprobe "$m" || echo "tavrel-vm: cannot load $m"
done
work=$(sed -n 's/.*tavrel_work=\([^ ]*\).*/\1/p' /proc/cmdline)
script=$(sed -n 's/.*tavrel_script=\([^ ]*\).*/\1/p' /proc/cmdline)
shares=$(sed -n 's/.*tavrel_shares=\([^ ]*\).*/\1/p' /proc/cmdline)
mkdir -p /host
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=262144 hostroot /host &&
  mount -t devtmpfs dev /host/dev && mount -t proc proc /host/proc &&
  mount -t sysfs sys /host/sys && mount -t tmpfs tmp /host/tmp &&
  mount -t tmpfs run /host/run || echo "tavrel-vm: cannot mount the host's root"
for share in $(echo "$shares" | tr , ' '); do
  dir=${share#*:}
  # A folder under the fresh /tmp or /run is not there yet; elsewhere it is.
  mkdir -p "/host$dir" &&
    mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 "${share%%:*}" "/host$dir" ||
    echo "tavrel-vm: cannot mount $dir"
done
echo "tavrel-vm: guest up"
chroot /host /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/tmp LANG=C.UTF-8 \
  /bin/bash "$script" "$work" >"/host$work/guest.log" 2>&1
echo "tavrel-vm: guest done $?"
sync
poweroff -f
