#!/usr/bin/env bash
# Runs one Windows program under the Wine of a build folder: wine-run.sh BUILD_DIR PROGRAM [ARGS...]
# CTest uses it as the cross-compiling emulator; it works for any program path. A win32 folder
# (marker BUILD_DIR/wine/arch, else its CMake cache) runs the private 32-bit Wine under qemu,
# a win64 folder the system's wine64. Uses the prefix, X display and persistent wineserver
# that scripts/wine-env.sh started for BUILD_DIR. Wine's output goes through files because its
# helper processes inherit pipes.
set -u
# shellcheck source=scripts/wine-common.sh
. "$(dirname "$0")/../scripts/wine-common.sh"
build=$(realpath -m "$1"); shift
wine_environment "$build"
out=$(mktemp) err=$(mktemp)
run() { "${WINE_CMD[@]}" "$@" >"$out" 2>"$err" </dev/null; }
run "$@"
rc=$?
# Once, on a fresh prefix, a test program exited 1 before printing a single byte (CTest's test
# listing then failed and no test ran); a second start worked. A program that ran and failed
# always prints something, so only a silent failure is retried, once.
if [ $rc -ne 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
  echo "wine-run: $1 exited $rc without output; starting it once more" >&2
  sleep 1
  run "$@"
  rc=$?
fi
cat "$out"; cat "$err" >&2
rm -f "$out" "$err"
exit $rc
