#!/bin/sh
# Installs what is missing, builds and checks the release artifacts, and runs
# the whole test suite: natively on the device simulator, then the Windows
# executables under Wine, then under the sanitizers.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs="$(nproc)"

# The release artifacts, built once: the packages are checked, the shipped
# OrvantaUpdate.exe is built a second time elsewhere and compared, and the
# Windows suite below runs its whole-program scenarios with it.
CMAKE_BUILD_PARALLEL_LEVEL="$jobs" scripts/release.sh
scripts/check-release.sh
CMAKE_BUILD_PARALLEL_LEVEL="$jobs" scripts/repro.sh

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
