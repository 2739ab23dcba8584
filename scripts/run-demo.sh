#!/usr/bin/env bash
# The end-to-end demo under Wine: run-demo.sh [BUILD_DIR] (default build/win32, the shipped
# i686 build, run by the private 32-bit Wine under qemu; build/win64 runs the x86_64 build under
# wine64). Starts the build folder's Wine environment (prefix, Xvfb, wineserver), runs
# demo-driver, which starts the game and the overlay peer and injects the input, shows its
# transcript and summary as they come, and stops every process it started.
set -u
cd "$(dirname "$0")/.."
root=$PWD
# shellcheck source=scripts/wine-common.sh
. scripts/wine-common.sh
build=$(realpath -m "${1:-build/win32}")
cmake --build "$build" -j2 --target demo-driver >/dev/null || { echo "build of demo-driver failed"; exit 1; }

bash scripts/wine-env.sh start "$build" || exit 1
trap 'bash "$root/scripts/wine-env.sh" stop "$build"' EXIT
arch=$(wine_arch "$build")
if [ "$arch" = win32 ]; then
  echo "== demo on the shipped 32-bit DLL: $build/bin/VelKorvexHooks.dll; game, render proxy,"
  echo "   peer, injector and driver are all i686, run by 32-bit Wine under qemu-i386"
  if [ "$(cat "$WINE32_DIR/binfmt" 2>/dev/null)" != yes ]; then
    echo "run-demo: 32-bit ELF files are not registered with binfmt_misc here, so the i686 driver"
    echo "          cannot start the game and the peer; run the x86_64 demo: bash scripts/demo.sh --x64"
    exit 1
  fi
else
  echo "== demo on the x86_64 DLL: $build/bin/VelKorvexHooks.dll; all programs x86_64, run by wine64"
fi

wine_environment "$build"
log="$build/wine/demo.log"
cd "$build/bin"
# Wine's output goes to a file (its helper processes would hold a pipe open) and is shown live.
timeout 150 "${WINE_CMD[@]}" demo-driver.exe >"$log" 2>&1 </dev/null &
driver=$!
tail --pid=$driver -n +1 -f "$log"
wait $driver
