#!/bin/sh
# System calls per file of stage 3 on the 5,000 small files, counted with
# strace: one pass with stage 3, one with the plain-POSIX steps instead and
# one with neither; the differences over 5,000 are the calls per file.
#   bench/syscalls.sh build/bench/bin/extraction_bench    (in a folder that is not tmpfs)
set -eu
bin=$(realpath "$1")
work=$(mktemp -d "$PWD/orvanta-syscalls.XXXXXX")
count() {
  rm -rf "$work/bench-work" "$work/bench-device"
  (cd "$work" && ORVANTA_DEVICE_ROOT="$work/bench-device" ORVANTA_SIM_TIME_SCALE=0 \
    strace -f -c -U calls,name -o "$work/$1.txt" "$bin" --syscalls="$1" >/dev/null)
}
for pass in none tool floor; do count $pass; done
awk -v files=5000 '
  FNR == 1 { pass = FILENAME; sub(/.*\//, "", pass); sub(/\.txt$/, "", pass) }
  $1 ~ /^[0-9]+$/ && NF == 2 && $2 != "total" { calls[pass, $2] += $1; total[pass] += $1; names[$2] = 1 }
  END {
    printf "system calls per file: stage 3 %.1f, plain-POSIX steps %.1f\n",
      (total["tool"] - total["none"]) / files, (total["floor"] - total["none"]) / files
    for (n in names) {
      t = (calls["tool", n] - calls["none", n]) / files
      f = (calls["floor", n] - calls["none", n]) / files
      if (t >= 0.05 || f >= 0.05) printf "  %-20s %6.2f %6.2f\n", n, t, f
    }
  }' "$work/none.txt" "$work/tool.txt" "$work/floor.txt"
rm -rf "$work"
