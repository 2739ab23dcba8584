#!/usr/bin/env bash
# Tests the release archive the way an overlay developer uses it (scripts/release.sh makes it):
# the archive carries the project's version in its name; its DLLs pass scripts/check-dll.sh
# --stripped and link to the symbol file beside them; its korvex-peer prints the version;
# tests/package, configured against the unpacked archive with find_package for x86 and x64,
# builds and runs under the Wine of build/win32 (the 32-bit Wine) or build/win64
# (cmake/wine-run.sh), where it talks to the archive's peer through the archive's DLL.
# Exits non-zero on a failure.
set -u
cd "$(dirname "$0")/.."
root=$PWD
version=$(sed -n 's/^project(VelKorvexHooks VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
archive=dist/VelKorvexHooks-$version-windows.zip
work=$root/build/package-test
unpacked=$work/VelKorvexHooks
[ -f "$archive" ] || { echo "package: no $archive (version $version): run scripts/release.sh"; exit 1; }
rm -rf "$work"
mkdir -p "$unpacked"
unzip -q "$archive" -d "$unpacked" || { echo "package: cannot unpack $archive"; exit 1; }
fail=0 passed=()

# The symbol file the DLL's debug link names must be beside it, hold the debug sections and
# match the CRC the link records.
debug_link_ok() {
  python3 - "$1" "$2" <<'PY'
import os, subprocess, sys, tempfile, zlib
dll, tools = sys.argv[1], sys.argv[2]
sections = lambda f: subprocess.run([tools + "-objdump", "-h", f], capture_output=True, text=True).stdout
with tempfile.TemporaryDirectory() as tmp:
    subprocess.run([tools + "-objcopy", "--dump-section", f".gnu_debuglink={tmp}/link", dll, f"{tmp}/copy"],
                   capture_output=True)
    raw = open(f"{tmp}/link", "rb").read() if os.path.exists(f"{tmp}/link") else b""
name, crc = raw.split(b"\0")[0].decode(), int.from_bytes(raw[-4:], "little")
target = os.path.join(os.path.dirname(dll), name)
if not name or not os.path.isfile(target): sys.exit(f"{dll}: its debug link names no file beside it")
if " .debug_info" not in sections(target): sys.exit(f"{target} holds no debug information")
if zlib.crc32(open(target, "rb").read()) != crc: sys.exit(f"{target} does not match the DLL's debug link")
PY
}

for arch in x64 x86; do
  [ $arch = x64 ] && { tools=x86_64; toolchain=x86_64; wine=build/win64; } \
                  || { tools=i686; toolchain=i686; wine=build/win32; }
  dll=$unpacked/$arch/VelKorvexHooks.dll
  echo "== $arch"
  bash scripts/check-dll.sh --stripped "$dll" || fail=1
  debug_link_ok "$dll" $tools-w64-mingw32 || fail=1

  build=$work/$arch
  cmake -S tests/package -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$unpacked" -DKORVEX_EXPECTED_VERSION="$version" \
    >"$build.log" 2>&1 && cmake --build "$build" -j2 >>"$build.log" 2>&1 \
    || { echo "package: $arch consumer build failed:"; tail -20 "$build.log"; fail=1; continue; }

  bash scripts/wine-env.sh start "$wine" ${wine#build/} >/dev/null \
    || { echo "package: no Wine for $wine"; fail=1; continue; }
  peer_version=$(cd "$build" && bash "$root/cmake/wine-run.sh" "$root/$wine" ./korvex-peer.exe --version 2>&1 | tr -d "\r")
  if [ "$peer_version" != "korvex-peer $version" ]; then
    echo "package: $arch korvex-peer --version printed '$peer_version', expected 'korvex-peer $version'"
    fail=1
  elif ! (cd "$build" && timeout 120 bash "$root/cmake/wine-run.sh" "$root/$wine" ./consumer.exe); then
    echo "package: the $arch consumer failed"; cat "$build/peer.txt" 2>/dev/null; fail=1
  elif [ "$(grep -c '^{"type":"KeyboardInput","virtualKey":75,' "$build/peer.txt")" != 2 ]; then
    echo "package: the $arch peer did not print K down and up as sent by the DLL:"
    cat "$build/peer.txt"; fail=1
  else
    echo "package: $arch: VERSIONINFO $version in the DLL and peer; K down and up went from the"
    echo "         DLL's hooks, set by the library's installer, to the peer"
    passed+=($arch)
  fi
  bash scripts/wine-env.sh stop "$wine"
done
result=$([ $fail -eq 0 ] && echo "all checks passed" || echo "FAILED (see above)")
echo "package: $archive: $result; runs passed: ${passed[*]:-none}"
exit $fail
