#!/usr/bin/env bash
# Boots the emulated machine once with SHARE as its shared folder: the
# guest runs SHARE/job.sh and powers off. Exits with the job's own exit code
# (SHARE/job.rc); a guest that does not boot or a job that does not report
# within SECONDS fails with a message. The job's output is SHARE/job.log,
# the guest's console SHARE/console.log.
# usage: run.sh [--writable] GUEST-DIR SHARE SECONDS
#   --writable  keep what the job changes on the disk image (first boot only)
set -eu
snapshot=-snapshot
if [ "${1:-}" = --writable ]; then snapshot=; shift; fi
guest=$1 share=$2 seconds=$3
rm -f "$share/job.rc" "$share/job.log" "$share/console.log"
# With SMAP on, QEMU's software CPU faults on 32-bit iret in Wine's code.
timeout -k 10 "$seconds" qemu-system-x86_64 -accel tcg,thread=multi -cpu max,-smap -smp 2 -m 4096 \
  -kernel "$guest/vmlinuz" -initrd "$guest/initrd.img" \
  -append "root=/dev/vda rw console=ttyS0 init=/sbin/qvn-init quiet loglevel=3 panic=-1" \
  -drive "file=$guest/disk.img,if=virtio,format=raw,cache=unsafe" $snapshot \
  -virtfs "local,path=$share,mount_tag=share,security_model=none,id=share" \
  -display none -monitor none -serial "file:$share/console.log" -no-reboot -nic none || true
if [ ! -f "$share/job.rc" ]; then
  echo "guest: the job did not report (no boot, a hang or over $seconds s); console:" >&2
  tail -n 30 "$share/console.log" >&2 2>/dev/null || true
  [ -f "$share/job.log" ] && { echo "guest: job output:" >&2; tail -n 40 "$share/job.log" >&2; }
  exit 3
fi
rc=$(cat "$share/job.rc")
[ "$rc" = 0 ] || { echo "guest: the job failed ($rc); its output ends:" >&2; tail -n 40 "$share/job.log" >&2; }
exit "$rc"
