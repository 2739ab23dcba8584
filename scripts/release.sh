#!/usr/bin/env bash
# Builds the release archive dist/VelKorvexHooks-<version>-windows.zip: configures and builds
# the release-x86 and release-x64 presets (clang and lld on GCC's MinGW-w64 runtime: the hooks
# DLL, the C interface's DLL and korvex-peer, each DLL with its PDB), installs both into one
# tree, strips the DWARF that the runtime's objects bring out of the DLLs (their own symbols are
# in the PDBs) and the peer of symbols, checks that every public header compiles on its own
# against the tree's include/ (the C header as C and as C++), and zips the tree.
# The version is the project's, as written into the package's version file.
set -u
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh || exit 1
root=$PWD
stage=$root/build/release/stage
log=$root/build/release/release.log
rm -rf "$stage"
mkdir -p "$stage" dist
: >"$log"

for arch in x86 x64; do
  echo "== building $arch"
  { cmake --preset "release-$arch" && cmake --build --preset "release-$arch" -j2 &&
    cmake --install "build/release-$arch" --prefix "$stage"; } >>"$log" 2>&1 \
    || { echo "release: $arch build failed (log: $log)"; tail -30 "$log"; exit 1; }
  (cd "$stage/$arch" &&
    llvm-objcopy --strip-debug VelKorvexHooks.dll && llvm-objcopy --strip-debug VelKorvexOverlay.dll &&
    llvm-objcopy --strip-all korvex-peer.exe) || { echo "release: stripping $arch failed"; exit 1; }
done

# Each public header alone, with nothing but the archive's include/ on the path.
for header in $(cd "$stage/include" && find . -name '*.h' | sort); do
  header=${header#./}
  compilers=("x86_64-w64-mingw32-g++-posix -std=c++17 -x c++")
  [ "$header" = VelKorvexOverlay.h ] && compilers+=("x86_64-w64-mingw32-gcc-posix -std=c89 -pedantic-errors -x c")
  for compiler in "${compilers[@]}"; do
    echo "#include \"$header\"" | $compiler -Wall -Wextra -Werror -fsyntax-only -I "$stage/include" - >>"$log" 2>&1 \
      || { echo "release: include/$header does not compile on its own with $compiler (log: $log)"; exit 1; }
  done
done

version=$(sed -n 's/^set(PACKAGE_VERSION "\(.*\)")$/\1/p' \
  "$stage/lib/cmake/VelKorvexHooks/VelKorvexHooksConfigVersion.cmake")
[ -n "$version" ] || { echo "release: no version in the package's version file"; exit 1; }
archive=$root/dist/VelKorvexHooks-$version-windows.zip
# dist/ keeps the last archive only, so that nothing tests an archive of an older version.
rm -f "$root"/dist/VelKorvexHooks-*-windows.zip
(cd "$stage" && zip -q -r -X "$archive" .) || { echo "release: zip failed"; exit 1; }
echo "== $archive ($(stat -c %s "$archive") bytes)"
unzip -l "$archive" | awk 'NR > 3 && $4 != "" && $4 !~ /\/$/ {printf "  %9d  %s\n", $1, $4}'
