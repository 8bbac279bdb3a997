#!/usr/bin/env bash
# Boots the 32-bit test VM built by setup.sh (emulated: QEMU TCG, no KVM
# needed), shares RUN_DIR as /vm/run and, if given, BUILD_DIR read-only as
# /vm/build, runs RUN_DIR/run.sh inside and powers off. Leaves out.log, rc
# and console.log in RUN_DIR.
#   boot.sh RUN_DIR [BUILD_DIR]
# Exits with run.sh's status, or 125 when the VM did not finish (no rc:
# it crashed, or QUILLBARROW_VM_TIMEOUT seconds passed and it was killed).
# Environment: QUILLBARROW_VM_TIMEOUT (default 1800), QUILLBARROW_VM_CPUS (2),
# QUILLBARROW_VM_MEMORY (3G), QUILLBARROW_VM_WRITABLE=1 keeps the changes
# in the image (setup only; test runs write to a throw-away overlay).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
vm="$(cd "$here/../.." && pwd)/build/win32-vm"
run_dir=$(realpath "$1")
build_dir=${2:+$(realpath "$2")}
limit=${QUILLBARROW_VM_TIMEOUT:-1800}
snapshot=on
[ "${QUILLBARROW_VM_WRITABLE:-0}" = 1 ] && snapshot=off

rm -f "$run_dir/out.log" "$run_dir/rc" "$run_dir/console.log" "$run_dir/uptime-at-init"
shares=(-virtfs "local,path=$run_dir,mount_tag=run,security_model=none,id=run")
if [ -n "$build_dir" ]; then
  shares+=(-virtfs "local,path=$build_dir,mount_tag=build,security_model=none,readonly=on,id=build")
fi
# -smap: under QEMU 7.2's TCG the guest kernel oopses on a SMAP fault as soon
# as Wine runs when the CPU model offers SMAP.
status=0
timeout --kill-after=20 "$limit" qemu-system-x86_64 \
  -machine q35 -accel tcg,thread=multi -cpu max,-smap \
  -smp "${QUILLBARROW_VM_CPUS:-2}" -m "${QUILLBARROW_VM_MEMORY:-3G}" \
  -kernel "$vm/vmlinuz" -initrd "$vm/initrd.img" \
  -append "root=/dev/vda rw console=ttyS0 quiet init=/usr/local/sbin/quillbarrow-vm-init" \
  -drive "file=$vm/root.img,if=virtio,format=raw,snapshot=$snapshot" \
  "${shares[@]}" \
  -nic none -display none -no-reboot -serial "file:$run_dir/console.log" -monitor none \
  </dev/null || status=$?
if [ ! -f "$run_dir/rc" ]; then
  if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "win32-vm: the VM was stopped after its limit of $limit s; see $run_dir/console.log" >&2
  else
    echo "win32-vm: the VM did not finish (qemu status $status); see $run_dir/console.log" >&2
  fi
  exit 125
fi
exit "$(cat "$run_dir/rc")"
