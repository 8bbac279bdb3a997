#!/usr/bin/env bash
# Builds the virtual machine in which the 32-bit Wine suite runs, into
# build/win32-vm/ under the repository:
#   vmlinuz, initrd.img  the kernel the VM boots
#   root.img             its root file system: Debian sid with a WoW64 Wine
#                        (32-bit Windows programs without 32-bit Linux
#                        libraries) and a Wine prefix made once, here
#   image.ok             written last; names the Wine it holds
# A finished image is reused. The VM is emulated (QEMU TCG), so 32-bit code
# runs in it even where this machine's kernel cannot execute any.
#
# Environment: QUILLBARROW_VM_MIRROR   Debian archive (default deb.debian.org)
#              QUILLBARROW_VM_KEEP_ROOT=1  keep the unpacked tree after use
#              QUILLBARROW_VM_SETUP_TIMEOUT  limit of the first boot, seconds (2400)
# Needs root, Debian 12, and the archive reachable; installs mmdebstrap and
# qemu-system-x86 when they are missing.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
vm="$root/build/win32-vm"
tree="$vm/root"
mirror=${QUILLBARROW_VM_MIRROR:-http://deb.debian.org/debian}

fail() { echo "win32-vm/setup.sh: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || fail "must run as root (mmdebstrap and the image need it)"
mkdir -p "$vm"
# Not while a test run uses the image (test.sh takes the same lock).
exec 9>"$vm/lock"
flock -w 3600 9 || fail "$vm is busy"
if [ -f "$vm/image.ok" ] && [ -f "$vm/root.img" ] && [ -f "$vm/vmlinuz" ] && [ -f "$vm/initrd.img" ]; then
  echo "32-bit test VM ready in $vm ($(cat "$vm/image.ok"))"
  exit 0
fi

# Host tools.
missing=()
for package in mmdebstrap qemu-system-x86 e2fsprogs; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  { apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"; } \
    || fail "could not install ${missing[*]} on this machine"
fi

rm -f "$vm/image.ok"

# 1. The Debian tree. sid carries the WoW64 build of Wine; its Release file
# may be past its Valid-Until date on mirrors, so that check is off.
if [ ! -f "$tree/.quillbarrow-tree-ok" ]; then
  rm -rf --one-file-system "$tree"
  echo "== building the VM's Debian sid tree from $mirror (a few minutes)"
  if ! mmdebstrap --variant=apt --architectures=amd64 \
      --aptopt='APT::Install-Recommends "false"' \
      --aptopt='Acquire::Check-Valid-Until "false"' \
      --dpkgopt='path-exclude=/usr/share/doc/*' \
      --dpkgopt='path-exclude=/usr/share/man/*' \
      --dpkgopt='path-exclude=/usr/share/locale/*' \
      --include=wine,wine64,libwine,xvfb,xauth,python3,openssl,iproute2,kmod,mount,linux-image-amd64,initramfs-tools \
      sid "$tree" "deb $mirror sid main" >"$vm/mmdebstrap.log" 2>&1; then
    tail -n 20 "$vm/mmdebstrap.log" >&2
    rm -rf --one-file-system "$tree"
    fail "could not build the VM image: mmdebstrap of Debian sid from $mirror failed" \
         "(is the archive reachable?); full log in $vm/mmdebstrap.log"
  fi
  [ -f "$tree/usr/lib/x86_64-linux-gnu/wine/i386-windows/ntdll.dll" ] \
    || fail "the Wine in Debian sid has no 32-bit (i386-windows) part; cannot run the 32-bit suite"
  touch "$tree/.quillbarrow-tree-ok"
fi
wine_version=$(dpkg-query --admindir="$tree/var/lib/dpkg" -W -f='${Version}' libwine) \
  || fail "no libwine in $tree; delete it and run again"

# 2. PID 1 of the VM. It mounts the 9p share "run" on /vm/run (and "build",
# read-only, on /vm/build when given), runs /vm/run/run.sh, leaves its
# output in out.log and its exit status in rc there, and powers off.
install -m 755 "$here/vm-init.sh" "$tree/usr/local/sbin/quillbarrow-vm-init"

# 3. Kernel and file system image. The image is sparse: it takes the size
# of the tree on disk, and leaves room for the prefix and the test runs.
cp "$tree"/boot/vmlinuz-* "$vm/vmlinuz"
cp "$tree"/boot/initrd.img-* "$vm/initrd.img"
rm -f "$vm/root.img" "$vm/root.img.part"
truncate -s 6G "$vm/root.img.part"
mkfs.ext4 -q -F -L quillbarrow -d "$tree" "$vm/root.img.part" || fail "mkfs.ext4 could not pack the tree"
mv "$vm/root.img.part" "$vm/root.img"

# 4. First boot, writing to the image: create the Wine prefix that every
# test run starts from (wineboot takes minutes under emulation; doing it once
# here keeps it out of each run).
boot="$vm/first-boot"
rm -rf "$boot"; mkdir -p "$boot"
cat >"$boot/run.sh" <<'RUN'
#!/bin/sh
# Wine gives the prefix five minutes to be made before the program that
# asked for it goes on (and, finding no kernel32 yet, fails); under
# emulation making it can take longer. The work goes on regardless, so wait
# for every Wine process to end, and check the result instead.
started=$(date +%s)
wine wineboot -i; echo "wineboot -i: status $?"
wineserver -w
echo "prefix made after $(( $(date +%s) - started )) s"
for attempt in 1 2; do
  [ -f "$WINEPREFIX/system.reg" ] && [ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] && break
  echo "prefix incomplete; wineboot -u (attempt $attempt)"
  wine wineboot -u; wineserver -w
done
test -f "$WINEPREFIX/system.reg" || exit 1
test -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" || exit 1
# A 32-bit program runs and its exit code comes back.
status=0
wine 'C:\windows\syswow64\cmd.exe' /c exit 7 >/dev/null 2>&1 </dev/null || status=$?
echo "32-bit cmd.exe: status $status (expected 7)"
test "$status" -eq 7 || exit 1
wineserver -w
wine --version
RUN
chmod 755 "$boot/run.sh"
echo "== first boot of the VM: creating the Wine prefix (a few minutes)"
status=0
QUILLBARROW_VM_WRITABLE=1 QUILLBARROW_VM_TIMEOUT=${QUILLBARROW_VM_SETUP_TIMEOUT:-2400} \
  bash "$here/boot.sh" "$boot" || status=$?
if [ "$status" -ne 0 ]; then
  tail -n 20 "$boot/out.log" "$boot/console.log" >&2 2>/dev/null || true
  rm -f "$vm/root.img"
  fail "the first boot of the VM failed (status $status); see $boot/out.log and $boot/console.log"
fi

echo "wine $wine_version, prefix made $(date -u +%Y-%m-%d)" >"$vm/image.ok"
if [ "${QUILLBARROW_VM_KEEP_ROOT:-0}" != 1 ]; then
  rm -rf --one-file-system "$tree"
fi
echo "32-bit test VM ready in $vm ($(cat "$vm/image.ok"))"
