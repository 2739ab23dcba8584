#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing.
# Never adds the i386 architecture: 32-bit code cannot run on these machines.
set -eu
packages=(cmake g++ make googletest libgtest-dev libbenchmark-dev clang libclang-rt-14-dev clang-format
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
          wine64 wine xvfb xauth xdotool x11-utils zip unzip python3)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
