#!/bin/sh
# Builds the release artifacts into build/artifacts/: the Debian package of
# the Linux tools (orvanta-tools_VERSION_amd64.deb) and the zip of the Windows
# executables (orvanta-tools-VERSION-windows-x64.zip). Installs what is
# missing first. The executables are in build/release/bin and
# build/windows-release/bin.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
export CMAKE_BUILD_PARALLEL_LEVEL
cmake --workflow --preset release
cmake --workflow --preset windows-release
ls -l build/artifacts
