#!/bin/sh
# Installs what is missing, builds, and runs the whole test suite: natively on
# the device simulator, then the Windows executables under Wine.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs="$(nproc)"

cmake --preset default
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs"

cmake --preset windows
cmake --build --preset windows -j "$jobs"
ctest --preset windows -j "$jobs"

# Every suite again under AddressSanitizer and UndefinedBehaviorSanitizer,
# with a bounded run of the package reader's fuzz target.
cmake --preset fuzz
cmake --build --preset fuzz -j "$jobs"
ctest --preset fuzz -j "$jobs"
