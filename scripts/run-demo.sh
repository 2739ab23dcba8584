#!/usr/bin/env bash
# The end-to-end demo under Wine: run-demo.sh [BUILD_DIR] (default build/win64, configured for
# x86_64). Starts the build folder's Wine environment (prefix, Xvfb, wineserver), runs
# demo-driver, which starts the game and the overlay peer and injects the input, shows its
# transcript and summary as they come, and stops every process it started.
set -u
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath -m "${1:-build/win64}")
cmake --build "$build" -j2 --target demo-driver >/dev/null || { echo "build of demo-driver failed"; exit 1; }

bash scripts/wine-env.sh start "$build" || exit 1
trap 'bash "$root/scripts/wine-env.sh" stop "$build"' EXIT

export WINEPREFIX="$build/wine/prefix" WINEDEBUG=-all WINEARCH=win64
# The reference render proxy beside the game must win over Wine's own d3d11.dll.
export WINEDLLOVERRIDES="d3d11,opengl32,d3d9,dinput=n,b"
export DISPLAY=$(cat "$build/wine/display")
log="$build/wine/demo.log"
cd "$build/bin"
# Wine's output goes to a file (its helper processes would hold a pipe open) and is shown live.
timeout 150 /usr/lib/wine/wine64 demo-driver.exe >"$log" 2>&1 </dev/null &
driver=$!
tail --pid=$driver -n +1 -f "$log"
wait $driver
