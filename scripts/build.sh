#!/bin/sh
# Installs what is missing and builds the tool, its tools and the tests.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default
cmake --build --preset default -j "$(nproc)"
echo "Built into build/default (holdfile: build/default/tests/holdfile)."
