#!/usr/bin/env bash
# The main job: builds both DLLs, shows where they are and what they export, and runs the
# end-to-end demo on the shipped 32-bit DLL (all programs i686, 32-bit Wine under qemu).
#   demo.sh          the i686 demo
#   demo.sh --x64    the same demo on the x86_64 build under wine64
set -u
cd "$(dirname "$0")/.."
demo_build=build/win32
case "${1:-}" in
  "") ;;
  --x64) demo_build=build/win64 ;;
  *) echo "usage: demo.sh [--x64]" >&2; exit 2 ;;
esac
bash scripts/install-deps.sh || exit 1
# Only the DLL and the demo's programs: the test programs are built by scripts/test.sh.
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j2 --target VelKorvexHooks demo-driver >/dev/null \
    || { echo "build of $preset failed"; exit 1; }
done
for arch in win32 win64; do
  dll=build/$arch/bin/VelKorvexHooks.dll
  echo "$arch: $(realpath "$dll")"
  objdump_tool=$([ $arch = win32 ] && echo i686 || echo x86_64)-w64-mingw32-objdump
  $objdump_tool -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[ \t]*\[/{print "    export " $NF} t&&/^[ \t]*$/{t=0}'
done
exec bash scripts/run-demo.sh "$demo_build"
