# Shared by scripts/wine-env.sh, cmake/wine-run.sh and scripts/run-demo.sh (sourced, not run):
# where the private 32-bit Wine lives, which Wine a build folder needs, and the environment and
# command line that run a Windows program under it.
#   win64: the system's wine64.
#   win32: Debian's i386 Wine from build/wine32/root under build/wine32/qemu-i386, in a WoW64
#          prefix (scripts/wine32-setup.sh fetches both, scripts/wine-env.sh makes the prefix).

KORVEX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
WINE32_DIR=$KORVEX_ROOT/build/wine32
WINE32_ROOT=$WINE32_DIR/root
WINE32_QEMU=$WINE32_DIR/qemu-i386

# Prints win32 or win64 for BUILD_DIR: the marker wine-env.sh wrote at start, else the
# folder's CMake cache (this project's KORVEX_WINE_ARCH, or an i686 MinGW tool in any other
# project's cache), else win64.
wine_arch() {
  local build=$1 cache=$1/CMakeCache.txt
  if [ -f "$build/wine/arch" ]; then
    cat "$build/wine/arch"
  elif grep -q '^KORVEX_WINE_ARCH:' "$cache" 2>/dev/null; then
    sed -n 's/^KORVEX_WINE_ARCH:[A-Z]*=//p' "$cache"
  elif grep -q '^CMAKE_[A-Z_]*:FILEPATH=.*/i686-w64-mingw32-' "$cache" 2>/dev/null; then
    echo win32
  else
    echo win64
  fi
}

# Exports the environment for running Windows programs of BUILD_DIR (prefix, display, quiet
# Wine, native-first render proxies) and sets the array WINE_CMD to the loader's command line.
wine_environment() {
  local build=$1 env_dir=$1/wine
  export WINEPREFIX="$env_dir/prefix" WINEDEBUG=-all WINEARCH=win64
  # Reference render proxies beside the programs must win over Wine's builtin DLLs.
  export WINEDLLOVERRIDES="d3d11,opengl32,d3d9,dinput=n,b"
  if [ -f "$env_dir/display" ]; then export DISPLAY=$(cat "$env_dir/display"); fi
  if [ "$(wine_arch "$build")" = win32 ]; then
    # The loader must not re-exec itself (qemu would lose it); qemu maps / onto the i386 root;
    # /lib/i386-linux-gnu must be searched for FreeType's libz, or text drawing dies in gdi32.
    export WINELOADERNOEXEC=1 QEMU_LD_PREFIX="$WINE32_ROOT" LD_LIBRARY_PATH=/lib/i386-linux-gnu
    export WINESERVER=/usr/lib/wine/wineserver64
    WINE_CMD=("$WINE32_QEMU" -L "$WINE32_ROOT" "$WINE32_ROOT/usr/lib/wine/wine")
  else
    WINE_CMD=(/usr/lib/wine/wine64)
  fi
}
