#!/usr/bin/env bash
# Starts or stops the Wine environment of one build folder: wine-env.sh start|stop BUILD_DIR
#   start: makes the 64-bit prefix once (kept and reused), starts Xvfb on a free display and a
#          persistent wineserver, and remembers both pids under BUILD_DIR/wine.
#   stop:  stops exactly the Xvfb and wineserver that start began.
set -u
cmd=$1 build=$(realpath -m "$2")
env_dir="$build/wine"
export WINEPREFIX="$env_dir/prefix" WINEDEBUG=-all WINEARCH=win64
mkdir -p "$env_dir"

start() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-env: creating the Wine prefix in $WINEPREFIX (once per build folder)"
    /usr/lib/wine/wine64 wineboot -i >"$env_dir/wineboot.log" 2>&1 </dev/null
    wineserver -w
  fi
  local n=40
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  setsid Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$env_dir/xvfb.log" 2>&1 </dev/null &
  echo $! >"$env_dir/xvfb.pid"
  echo ":$n" >"$env_dir/display"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  setsid wineserver -f -p >"$env_dir/wineserver.log" 2>&1 </dev/null &
  echo $! >"$env_dir/wineserver.pid"
  sleep 0.3
  echo "wine-env: Xvfb on :$n (pid $(cat "$env_dir/xvfb.pid")), wineserver pid $(cat "$env_dir/wineserver.pid")"
}

stop() {
  wineserver -k >/dev/null 2>&1 || true
  for f in wineserver xvfb; do
    if [ -f "$env_dir/$f.pid" ]; then
      kill "$(cat "$env_dir/$f.pid")" 2>/dev/null || true
      rm -f "$env_dir/$f.pid"
    fi
  done
  rm -f "$env_dir/display"
}

case "$cmd" in
  start) stop; start ;;
  stop) stop ;;
  *) echo "usage: wine-env.sh start|stop BUILD_DIR" >&2; exit 2 ;;
esac
