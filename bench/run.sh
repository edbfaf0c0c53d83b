#!/bin/sh
# Runs an extraction benchmark on a file system of its own: a fresh journaled
# ext4 image on a loop device (needs root), so that no earlier mass deletion
# slows its file creation; in the current folder where it cannot mount one.
#   bench/run.sh build/bench/bin/extraction_bench [ARGS...]
# BENCH_IMAGE_SIZE (default 12G, sparse) sets the image's size.
set -u
bin=$(realpath "$1")
shift
size=${BENCH_IMAGE_SIZE:-12G}
base=$(mktemp -d "${TMPDIR:-/tmp}/orvanta-bench.XXXXXX")
image="$base/fs.img"
mnt="$base/mnt"
mkdir -p "$mnt"
where=$PWD
if truncate -s "$size" "$image" && mkfs.ext4 -q -F -i 4096 -E lazy_itable_init=0,lazy_journal_init=0 "$image" &&
  mount -o loop "$image" "$mnt" 2>/dev/null; then
  where=$mnt
  echo "bench: on a fresh journaled ext4 image ($size) mounted at $mnt"
else
  echo "bench: cannot mount an image here; running in $where on its own file system"
fi
cd "$where" && ORVANTA_DEVICE_ROOT="$where/bench-device" ORVANTA_SIM_TIME_SCALE=0 "$bin" "$@"
status=$?
cd /
if [ "$where" = "$mnt" ]; then umount "$mnt"; fi
rm -rf "$base"
exit $status
