#!/bin/sh
# PID 1 of the 32-bit test VM (installed in the image by setup.sh).
# Mounts the 9p share "run" on /vm/run and, when the host gives one, the
# share "build" read-only on /vm/build; runs /vm/run/run.sh with the Wine
# environment below; leaves its output in /vm/run/out.log and its exit
# status in /vm/run/rc; powers the machine off.
# wineserver lives beside the Wine loader, outside the usual PATH.
export PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin:/usr/lib/x86_64-linux-gnu/wine HOME=/root LANG=C.UTF-8
export WINEPREFIX=/var/lib/quillbarrow/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export XDG_RUNTIME_DIR=/tmp/xdg
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mkdir -m 700 /tmp/xdg
mount -o remount,rw /
ip link set lo up
mkdir -p /vm/run /vm/build "$WINEPREFIX"
options=trans=virtio,version=9p2000.L,msize=524288
if mount -t 9p -o "$options" run /vm/run; then
  cut -d' ' -f1 /proc/uptime > /vm/run/uptime-at-init
  mount -t 9p -o "$options,ro" build /vm/build 2>/dev/null
  if [ -x /vm/run/run.sh ]; then
    (cd /vm/run && ./run.sh) > /vm/run/out.log 2>&1 < /dev/null
    echo $? > /vm/run/rc
  else
    echo "quillbarrow-vm-init: no /vm/run/run.sh" > /dev/console
  fi
  wineserver -k 2>/dev/null
  sync
  umount /vm/build 2>/dev/null
  umount /vm/run
else
  echo "quillbarrow-vm-init: cannot mount the share 'run'" > /dev/console
fi
sync
echo o > /proc/sysrq-trigger
sleep 60
