#!/bin/sh
# Adds the Debian packages that only the benchmarks need (bench/): zip and
# unzip for the comparison, strace for the system-call counts, perf for the
# waits, e2fsprogs for the benchmark's own ext4 image. Not part of the build
# or test path.
set -eu
packages="zip unzip strace linux-perf e2fsprogs"
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# shellcheck disable=SC2086
$sudo apt-get install -y -qq --no-install-recommends $missing
