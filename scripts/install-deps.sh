#!/bin/sh
# Adds the Debian packages the build and the tests need, Debian's pugixml
# source package for the Windows build, and libsodium built for mingw from
# Debian's source package; does nothing when all are there.
# --demo: only what scripts/demo.sh needs (the native build; configuring it
# with its tests wants GoogleTest and Python). Non-interactive; safe to run again.
set -eu

demo_packages="cmake make g++ pkg-config libpugixml-dev zlib1g-dev libgtest-dev googletest python3 libsodium-dev"
packages="$demo_packages
g++-mingw-w64-x86-64 libz-mingw-w64-dev wine64 xvfb xauth dpkg-dev clang libclang-rt-14-dev libxml2-utils
help2man file minisign autoconf automake libtool"
demo=""
if [ "${1:-}" = "--demo" ]; then
  demo=1
  packages="$demo_packages"
fi
deps_dir=/usr/local/src/orvanta-deps

if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

have_pugixml_source() {
  ls "$deps_dir"/pugixml-*/src/pugixml.cpp >/dev/null 2>&1
}

# The static mingw build of libsodium that cmake/windows-deps.cmake links.
sodium_prefix=$deps_dir/libsodium-mingw
have_sodium_mingw() {
  [ -f "$sodium_prefix/lib/libsodium.a" ] && [ -f "$sodium_prefix/include/sodium.h" ]
}

have_sources() {
  have_pugixml_source && ls "$deps_dir"/libsodium-*/configure.ac >/dev/null 2>&1
}

have_what_is_needed() {
  [ -n "$demo" ] || { have_sources && have_sodium_mingw; }
}

[ -z "$missing" ] && have_what_is_needed && exit 0

updated=""
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  $sudo apt-get update -qq
  updated=1
  # shellcheck disable=SC2086
  $sudo apt-get install -y -qq --no-install-recommends $missing
fi

if [ -z "$demo" ] && ! have_sources; then
  # apt-get source needs a deb-src entry beside the machine's deb entries.
  if ! grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
      sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
        $sudo tee /etc/apt/sources.list.d/orvanta-deb-src.sources >/dev/null
    else
      grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
        $sudo tee /etc/apt/sources.list.d/orvanta-deb-src.list >/dev/null
    fi
    updated=""
  fi
  [ -z "$updated" ] && $sudo apt-get update -qq
  $sudo mkdir -p "$deps_dir"
  have_pugixml_source || (cd "$deps_dir" && $sudo apt-get source -qq pugixml)
  ls "$deps_dir"/libsodium-*/configure.ac >/dev/null 2>&1 || (cd "$deps_dir" && $sudo apt-get source -qq libsodium)
  have_sources
fi

if [ -z "$demo" ] && ! have_sodium_mingw; then
  # Debian's source has no generated configure script.
  sodium_source=$(ls -d "$deps_dir"/libsodium-*/ | grep -v mingw | sort | tail -n 1)
  echo "Building libsodium for mingw from $sodium_source (a minute or two)"
  work=$(mktemp -d)
  cp -a "$sodium_source/." "$work"
  (cd "$work" && autoreconf -fi >/dev/null 2>&1 &&
    ./configure -q --host=x86_64-w64-mingw32 --disable-shared --enable-static --prefix="$sodium_prefix" &&
    make -s -j"$(nproc)" >/dev/null && $sudo make -s install >/dev/null)
  rm -rf "$work"
  have_sodium_mingw
fi
