#!/usr/bin/env bash
# Runs one Windows program under 64-bit Wine for CTest: wine-run.sh BUILD_DIR PROGRAM [ARGS...]
# Uses the prefix, X display and persistent wineserver that scripts/wine-env.sh started for
# BUILD_DIR. Wine's output goes through files because its helper processes inherit pipes.
set -u
build=$1; shift
env_dir="$build/wine"
export WINEPREFIX="$env_dir/prefix" WINEDEBUG=-all WINEARCH=win64
# Reference render proxies beside the test programs must win over Wine's builtin DLLs.
export WINEDLLOVERRIDES="d3d11,opengl32,d3d9,dinput=n,b"
if [ -f "$env_dir/display" ]; then export DISPLAY=$(cat "$env_dir/display"); fi
out=$(mktemp) err=$(mktemp)
/usr/lib/wine/wine64 "$@" >"$out" 2>"$err" </dev/null
rc=$?
cat "$out"; cat "$err" >&2
rm -f "$out" "$err"
exit $rc
