#!/bin/sh
# Builds the committed tree twice, from two copies in folders of different
# names and lengths, one after the other, and compares the shipped
# executables byte for byte. Without ccache, so that every object is
# compiled in its own folder.
#   scripts/repro.sh          OrvantaUpdate.exe (windows-release)
#   scripts/repro.sh --all    also zampack.exe, and zampack and orvanta-sim (release)
set -eu
cd "$(dirname "$0")/.."
all=""
[ "${1:-}" = "--all" ] && all=1
# The commit is taken once: the branch may move while the builds run.
commit=$(git rev-parse HEAD)
work=$(mktemp -d "${TMPDIR:-/tmp}/orvanta-repro.XXXXXX")
trap 'rm -rf "$work"' EXIT
export CCACHE_DISABLE=1
unset CMAKE_CXX_COMPILER_LAUNCHER CMAKE_C_COMPILER_LAUNCHER
CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
export CMAKE_BUILD_PARALLEL_LEVEL

built="windows-release/bin/OrvantaUpdate.exe"
[ -n "$all" ] && built="$built windows-release/bin/zampack.exe release/bin/zampack release/bin/orvanta-sim"

for copy in one second-copy-in-a-longer-folder; do
  source="$work/$copy/orvanta"
  mkdir -p "$source"
  git archive "$commit" | tar -x -C "$source"
  started=$(date +%s)
  (
    cd "$source"
    cmake --preset windows-release >/dev/null
    if [ -n "$all" ]; then
      cmake --build --preset windows-release --target orvanta-update zampack >/dev/null
      cmake --preset release >/dev/null
      cmake --build --preset release --target zampack orvanta-sim >/dev/null
    else
      cmake --build --preset windows-release --target orvanta-update >/dev/null
    fi
  )
  echo "repro: built in $source in $(($(date +%s) - started)) s"
  sleep 2
done

status=0
echo "repro: commit $commit"
for file in $built; do
  if cmp -s "$work/one/orvanta/build/$file" "$work/second-copy-in-a-longer-folder/orvanta/build/$file"; then
    echo "repro: identical: $file ($(wc -c < "$work/one/orvanta/build/$file") bytes, sha256 $(sha256sum < "$work/one/orvanta/build/$file" | cut -c1-16))"
  else
    echo "repro: DIFFERENT: $file" >&2
    status=1
  fi
done
exit $status
