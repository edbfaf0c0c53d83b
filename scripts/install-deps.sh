#!/bin/sh
# Adds the Debian packages the build and the tests need, and Debian's pugixml
# source package for the Windows build; does nothing when all are there.
# --demo: only what scripts/demo.sh needs (the native build; configuring it
# with its tests wants GoogleTest and Python). Non-interactive; safe to run again.
set -eu

demo_packages="cmake make g++ pkg-config libpugixml-dev zlib1g-dev libgtest-dev googletest python3"
packages="$demo_packages
g++-mingw-w64-x86-64 libz-mingw-w64-dev wine64 xvfb xauth dpkg-dev clang libclang-rt-14-dev libxml2-utils
help2man file"
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

have_what_is_needed() {
  [ -n "$demo" ] || have_pugixml_source
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

if ! have_what_is_needed; then
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
  (cd "$deps_dir" && $sudo apt-get source -qq pugixml)
  have_pugixml_source
fi
