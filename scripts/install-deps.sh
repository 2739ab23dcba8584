#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing, then
# the private 32-bit Wine under build/wine32 (scripts/wine32-setup.sh: downloads and unpacks
# nothing when it is complete). Never adds the i386 architecture and never changes /etc/apt:
# the system cannot install or run i386 packages, so the 32-bit Wine runs under qemu.
set -eu
# googletest: its sources, built into every Windows test program. clang with libclang-rt-14-dev:
# the libFuzzer build (ASan + UBSan). lld, llvm and clang-tools-14 (clang-cl): the release build
# with PDBs and the package test's MSVC-ABI programs.
packages=(cmake make googletest clang libclang-rt-14-dev clang-format
          lld llvm clang-tools-14
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
bash "$(dirname "$0")/wine32-setup.sh"
