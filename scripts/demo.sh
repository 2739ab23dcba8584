#!/usr/bin/env bash
# The main job: builds both DLLs and runs the end-to-end demo.
set -u
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh || exit 1
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j2 >/dev/null \
    || { echo "build of $preset failed"; exit 1; }
done
for arch in win32 win64; do
  dll=build/$arch/bin/VelKorvexHooks.dll
  echo "$arch: $(realpath "$dll")"
  objdump_tool=$([ $arch = win32 ] && echo i686 || echo x86_64)-w64-mingw32-objdump
  $objdump_tool -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[ \t]*\[/{print "    export " $NF} t&&/^[ \t]*$/{t=0}'
done
if [ -f scripts/run-demo.sh ]; then
  exec bash scripts/run-demo.sh
fi
