#!/usr/bin/env bash
# Builds the release archive dist/VelKorvexHooks-<version>-windows.zip: configures and builds
# the release-x86 and release-x64 presets (the DLL and korvex-peer, compiled with debug info),
# installs both into one tree, splits each DLL's debug symbols into VelKorvexHooks.dll.debug
# beside it (linked from the DLL by a debug link), strips the DLL and the peer of symbols, checks that
# every public header compiles on its own against the tree's include/, and zips the tree.
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
done

for arch in x86 x64; do
  tools=$([ $arch = x86 ] && echo i686 || echo x86_64)-w64-mingw32
  (cd "$stage/$arch" &&
    $tools-objcopy --only-keep-debug VelKorvexHooks.dll VelKorvexHooks.dll.debug &&
    $tools-objcopy --strip-all --add-gnu-debuglink=VelKorvexHooks.dll.debug VelKorvexHooks.dll &&
    $tools-objcopy --strip-all korvex-peer.exe) || { echo "release: stripping $arch failed"; exit 1; }
done

# Each public header alone, with nothing but the archive's include/ on the path.
for header in $(cd "$stage/include" && find . -name '*.h' | sort); do
  echo "#include \"${header#./}\"" |
    x86_64-w64-mingw32-g++-posix -std=c++17 -Wall -Wextra -Werror -fsyntax-only -x c++ \
      -I "$stage/include" - >>"$log" 2>&1 \
    || { echo "release: include/${header#./} does not compile on its own (log: $log)"; exit 1; }
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
