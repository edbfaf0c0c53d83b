#!/bin/sh
# Where stage 3 waits, per file of the 5,000 small files, against the
# plain-POSIX steps: one pass of each under `perf sched record`, each on a
# fresh file system of its own (bench/run.sh), then the time the process was
# blocked flushing a written file before its unbuffered read, blocked in that
# read, blocked elsewhere, and ready but not yet running (scheduling delay).
#   bench/waits.sh build/bench/bin/extraction_bench    (as root, with perf)
set -eu
bin=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d "${TMPDIR:-/tmp}/orvanta-waits.XXXXXX")
cat >"$work/wrap.sh" <<'EOF'
#!/bin/sh
exec perf sched record -q -g -o "$WAITS_OUT" "$WAITS_BIN" "$@"
EOF
chmod +x "$work/wrap.sh"
for pass in tool floor; do
  WAITS_OUT="$work/$pass.data" WAITS_BIN="$bin" "$here/run.sh" "$work/wrap.sh" --syscalls=$pass >/dev/null
  perf sched timehist -g -i "$work/$pass.data" 2>/dev/null | grep extraction_ben >"$work/$pass.txt" || true
done
echo "blocked and delayed, microseconds per file: stage 3, plain-POSIX steps"
awk -v files=5000 '
  FNR == 1 { pass = FILENAME; sub(/.*\//, "", pass); sub(/\.txt$/, "", pass) }
  {
    site = "other"
    if ($0 ~ /folio_wait_writeback|__filemap_fdatawait/) site = "flush"
    else if ($0 ~ /io_schedule_timeout|__iomap_dio_rw/) site = "read"
    wait[pass, site] += $4; delay[pass] += $5
  }
  END {
    printf "  %-30s %8.1f %8.1f\n", "flushing before the read", wait["tool", "flush"] * 1000 / files, wait["floor", "flush"] * 1000 / files
    printf "  %-30s %8.1f %8.1f\n", "in the unbuffered read", wait["tool", "read"] * 1000 / files, wait["floor", "read"] * 1000 / files
    printf "  %-30s %8.1f %8.1f\n", "elsewhere (set-up included)", wait["tool", "other"] * 1000 / files, wait["floor", "other"] * 1000 / files
    printf "  %-30s %8.1f %8.1f\n", "ready, not yet running", delay["tool"] * 1000 / files, delay["floor"] * 1000 / files
  }' "$work/tool.txt" "$work/floor.txt"
rm -rf "$work"
