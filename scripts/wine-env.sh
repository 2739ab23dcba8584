#!/usr/bin/env bash
# Starts or stops the Wine environment of one build folder: wine-env.sh start|stop BUILD_DIR [win32|win64]
#   start: makes the prefix once (kept and reused), starts Xvfb on a free display and a
#          persistent wineserver, and remembers both pids under BUILD_DIR/wine.
#          The architecture comes from the third argument, else from the folder's CMake cache
#          (see wine_arch in wine-common.sh), and is written to BUILD_DIR/wine/arch for
#          cmake/wine-run.sh. A win32 folder gets the private 32-bit Wine (set up by
#          scripts/wine32-setup.sh when missing) and a WoW64 prefix.
#   stop:  stops exactly the Xvfb and wineserver that start began.
set -u
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=scripts/wine-common.sh
. "$here/wine-common.sh"
cmd=${1:-} build=$(realpath -m "${2:-.}")
env_dir="$build/wine"
export WINEPREFIX="$env_dir/prefix" WINEDEBUG=-all WINEARCH=win64
mkdir -p "$env_dir"

# Links the 32-bit Wine's Windows-side files into the prefix's syswow64, where the WoW64
# loader looks for them; files wineboot already put there stay.
link_syswow64() {
  local sys="$WINEPREFIX/drive_c/windows/syswow64" f
  mkdir -p "$sys"
  for f in "$WINE32_ROOT"/usr/lib/i386-linux-gnu/wine/i386-windows/* \
           /usr/lib/x86_64-linux-gnu/wine/i386-windows/zlib1.dll; do
    [ -e "$sys/${f##*/}" ] || ln -s "$f" "$sys/${f##*/}"
  done
}

start() {
  local arch=${1:-$(wine_arch "$build")}
  case "$arch" in win32|win64) ;; *) echo "wine-env: unknown architecture $arch" >&2; return 2 ;; esac
  if [ "$arch" = win32 ]; then
    bash "$here/wine32-setup.sh" || return 1
  fi
  echo "$arch" >"$env_dir/arch"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-env: creating the Wine prefix in $WINEPREFIX (once per build folder)"
    /usr/lib/wine/wine64 wineboot -i >"$env_dir/wineboot.log" 2>&1 </dev/null
    wineserver -w
  fi
  # A program that crashes (a UBSan trap is an illegal instruction) must end at once and fail:
  # Wine's debugger, started for any unhandled exception, shows its crash dialog and waits for
  # it, and once it has attached the program exits with code 0, so a test that traps "passes".
  # With no debugger configured (for 64-bit and 32-bit programs) the process ends at once with
  # the exception code as its exit status (0xC000001D shows as 29, 0xC0000005 as 5).
  if [ ! -f "$env_dir/no-crash-debugger" ]; then
    local key
    for key in 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
               'HKLM\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\AeDebug'; do
      /usr/lib/wine/wine64 reg add "$key" /v Debugger /t REG_SZ /d '' /f \
        >>"$env_dir/wineboot.log" 2>&1 </dev/null || return 1
    done
    wineserver -w && touch "$env_dir/no-crash-debugger"
  fi
  if [ "$arch" = win32 ] && [ ! -f "$env_dir/syswow64-linked" ]; then
    link_syswow64 && touch "$env_dir/syswow64-linked"
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
  echo "wine-env: $arch, Xvfb on :$n (pid $(cat "$env_dir/xvfb.pid")), wineserver pid $(cat "$env_dir/wineserver.pid")"
}

stop() {
  wineserver -k >/dev/null 2>&1 || true
  for f in wineserver xvfb; do
    if [ -f "$env_dir/$f.pid" ]; then
      pid=$(cat "$env_dir/$f.pid")
      kill "$pid" 2>/dev/null || true
      # Wait until it is gone, so that the next start does not find its display still taken.
      for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      rm -f "$env_dir/$f.pid"
    fi
  done
  rm -f "$env_dir/display"
}

case "$cmd" in
  start) stop; start "${3:-}" ;;
  stop) stop ;;
  *) echo "usage: wine-env.sh start|stop BUILD_DIR [win32|win64]" >&2; exit 2 ;;
esac
