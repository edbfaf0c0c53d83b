#!/bin/sh
# Checks the release artifacts that scripts/release.sh made: the zip holds
# the Windows executables and the README; OrvantaUpdate.exe carries the
# project's version and its manifest; the Debian package, unpacked into an
# empty folder, runs zampack and orvanta-sim from its own files: a device is
# laid out, a package built and tried on it.
set -eu
cd "$(dirname "$0")/.."
repo=$(pwd)
version=$(sed -n 's/^project(.* VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb="build/artifacts/orvanta-tools_${version}_amd64.deb"
zip="build/artifacts/orvanta-tools-${version}-windows-x64.zip"
exe=build/windows-release/bin/OrvantaUpdate.exe
work=$(mktemp -d "${TMPDIR:-/tmp}/orvanta-release.XXXXXX")
trap 'rm -rf "$work"' EXIT

fail() {
  echo "check-release: $*" >&2
  exit 1
}

[ -f "$deb" ] || fail "missing $deb"
[ -f "$zip" ] || fail "missing $zip"

listing=$(python3 -c 'import sys, zipfile; print("\n".join(sorted(n.split("/")[-1] for n in zipfile.ZipFile(sys.argv[1]).namelist() if not n.endswith("/"))))' "$zip")
[ "$listing" = "$(printf 'OrvantaUpdate.exe\nREADME.md\nzampack.exe')" ] || fail "the zip holds: $listing"

resources=$(x86_64-w64-mingw32-windres -J coff -O rc -i "$exe")
for expected in "VALUE \"FileVersion\", \"$version\"" "VALUE \"ProductVersion\", \"$version\"" \
  'VALUE "CompanyName", "Colmarte Company"' 'VALUE "OriginalFilename", "OrvantaUpdate.exe"' \
  'requestedExecutionLevel level=""requireAdministrator""'; do
  printf '%s\n' "$resources" | grep -qF "$expected" || fail "OrvantaUpdate.exe lacks: $expected"
done

dpkg-deb -f "$deb" Depends | grep -q libpugixml || fail "the package does not declare its libraries: $(dpkg-deb -f "$deb" Depends)"
root="$work/root"
dpkg -x "$deb" "$root"
bin="$root/usr/bin"
for program in orvanta-update zampack orvanta-sim orvanta-device-app zamservice; do
  [ -x "$bin/$program" ] || fail "the package lacks $program"
  [ -s "$root/usr/share/man/man1/$program.1" ] || fail "the package lacks the manual page of $program"
done

# From the unpacked files alone: nothing of the build folders is on the way.
cd "$work"
"$bin/zampack" --help > zampack-help.txt || fail "zampack --help"
grep -q "usage: zampack" zampack-help.txt || fail "zampack --help printed: $(cat zampack-help.txt)"
"$bin/orvanta-sim" init device > init.txt || fail "orvanta-sim init: $(cat init.txt)"
mkdir -p tree/data
printf 'engine 2' > tree/engine.dll
printf 'words' > tree/data/words.dat
"$bin/zampack" build --type SOFTWARE --name Orvanta --detail "$version" tree -o software.zam > build.txt ||
  fail "zampack build: $(cat build.txt)"
"$bin/orvanta-sim" try --device device software.zam > try.txt || fail "orvanta-sim try: $(cat try.txt)"
grep -q 'C:\\Program Files\\Orvanta\\data\\words.dat' try.txt || fail "orvanta-sim try reported: $(cat try.txt)"
echo "release artifacts: $(wc -c < "$repo/$deb") bytes $deb, $(wc -c < "$repo/$zip") bytes $zip, OrvantaUpdate.exe $(wc -c < "$repo/$exe") bytes; all checks passed"
