#!/bin/sh
# release_tool.sh EXE WINE_RUN E2E_TESTS
#
# The update tool's whole-program scenarios with EXE, the release build of
# OrvantaUpdate.exe, in place of the one built beside the tests.
# Exit code 77 (skipped) when there is no release build.
set -eu
if [ ! -f "$1" ]; then
  echo "no release build at $1 (cmake --workflow --preset windows-release makes it)"
  exit 77
fi
ORVANTA_UPDATE_TOOL="Z:$(printf '%s' "$1" | tr / '\\')"
export ORVANTA_UPDATE_TOOL
exec "$2" "$3" --gtest_filter='UpdateTest.*'
