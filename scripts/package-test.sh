#!/usr/bin/env bash
# Tests the release archive the way an overlay developer uses it (scripts/release.sh makes it),
# from the unpacked archive alone:
#   - its contents: README.md, the sample overlay, the overlay developer's docs and no others;
#     the C++ library defines no global symbol outside namespace korvex (link-once copies of
#     header code, which every user of those headers has, aside);
#   - per architecture, the DLLs pass scripts/check-dll.sh --stripped (--overlay for the C
#     interface), each names the PDB beside it, whose GUID and age match, and the hooks DLL's
#     exports symbolise to their own names through it; korvex-peer prints the version;
#   - tests/package (C++, found through CMAKE_PREFIX_PATH, MinGW) links without GCC's runtime
#     DLLs and runs: the library's installer sets the DLL's hooks and the typed K reaches the peer;
#   - the sample overlay (examples/overlay-sample, found through VelKorvexHooks_DIR as the
#     archive's README says, MinGW) runs against the demo game of build/win32 or build/win64 with
#     the reference render proxy and the archive's hooks DLL: the proxy hooks the game's window
#     thread on the sample's Init, and the keys the injector types reach the sample until Escape,
#     not the game;
#   - the sample and tests/package/c_api_check.c, built in the MSVC ABI (clang-cl and lld-link
#     with the archive's header and VelKorvexOverlay.lib), run: the sample against korvex-peer
#     playing the game, which sends records of every kind from a file and prints what it gets.
# Wine: that of build/win32 (32-bit, under qemu) or build/win64. Exits non-zero on a failure.
set -u
cd "$(dirname "$0")/.."
root=$PWD
# shellcheck source=scripts/wine-common.sh
. scripts/wine-common.sh
version=$(sed -n 's/^project(VelKorvexHooks VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
archive=dist/VelKorvexHooks-$version-windows.zip
work=$root/build/package-test
unpacked=$work/VelKorvexHooks
[ -f "$archive" ] || { echo "package: no $archive (version $version): run scripts/release.sh"; exit 1; }
rm -rf "$work"
mkdir -p "$unpacked"
unzip -q "$archive" -d "$unpacked" || { echo "package: cannot unpack $archive"; exit 1; }
fail=0 passed=()
problem() { echo "package: $*"; fail=1; ok=0; }

# Starts a Windows program of the current folder under the Wine of $wine in the background:
# stdout to OUT, stderr to OUT.err, and its exit code to OUT.rc when it ends.
background() {
  local out=$1; shift
  ("${WINE_CMD[@]}" "$@" >"$out" 2>"$out.err" </dev/null; echo $? >"$out.rc") &
}
# Waits up to SECONDS for a line of FILE that matches PATTERN (grep -E).
wait_for() {
  local i
  for ((i = 0; i < $3 * 10; i++)); do
    grep -qE -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}
# FILE without carriage returns, for comparing what a Windows program printed.
lines() { tr -d '\r' <"$1"; }

# The PDB named by the DLL's debug directory lies beside it, carries the same GUID and age,
# and maps each export's address to the export's own name.
pdb_ok() {
  python3 - "$1" <<'PY'
import os, re, subprocess, sys
dll = sys.argv[1]
run = lambda *args: subprocess.run(args, capture_output=True, text=True).stdout
info = run("llvm-readobj", "--coff-debug-directory", "--coff-exports", "--file-headers", dll)
name = re.search(r"PDBFileName: (\S+)", info)
pdb = os.path.join(os.path.dirname(dll), name.group(1) if name else "")
if not name or os.path.basename(pdb) != name.group(1) or not os.path.isfile(pdb):
    sys.exit(f"{dll}: names no PDB beside it ({name.group(1) if name else 'none'})")
raw = bytes.fromhex(re.search(r"PDBGUID: \(([0-9A-F ]+)\)", info).group(1).replace(" ", ""))
guid = "%08X-%04X-%04X-%s-%s" % (int.from_bytes(raw[0:4], "little"), int.from_bytes(raw[4:6], "little"),
                                 int.from_bytes(raw[6:8], "little"), raw[8:10].hex().upper(), raw[10:].hex().upper())
age = re.search(r"PDBAge: (\d+)", info).group(1)
summary = run("llvm-pdbutil", "dump", "--summary", pdb)
if f"GUID: {{{guid}}}" not in summary or not re.search(rf"Age: {age}\b", summary):
    sys.exit(f"{pdb} does not match {dll} (GUID {guid}, age {age})")
base = int(re.search(r"ImageBase: (0x[0-9A-F]+)", info).group(1), 16)
exports = re.findall(r"Name: (\w+)\n\s+RVA: (0x[0-9A-F]+)", info)
found = run("llvm-symbolizer", f"--obj={dll}", *[hex(base + int(rva, 16)) for _, rva in exports]).split("\n\n")
wrong = [f"{n} -> {f.splitlines()[0] if f else '?'}" for (n, _), f in zip(exports, found) if not f.startswith(n + "\n")]
if not exports or wrong:
    sys.exit(f"{dll}: exports do not symbolise through {pdb}: {wrong or 'no exports'}")
PY
}

# Global definitions of the C++ library outside namespace korvex. Link-once (COMDAT) sections
# are left out: they hold inline code of the headers used (the C runtime's sprintf, std::set's
# members), of which the linker keeps any one copy.
outside_namespace() {
  python3 - "$1" <<'PY'
import re, subprocess, sys
out = subprocess.run(["llvm-readobj", "--sections", "--symbols", sys.argv[1]], capture_output=True,
                     text=True, errors="replace").stdout
x86 = "Format: COFF-i386" in out
names = set()
for member in out.split("\nFile: ")[1:]:
    comdat, block, fields = set(), None, {}
    for line in (l.strip() for l in member.splitlines()):
        if line in ("Section {", "Symbol {"):
            block, fields = line[:-2], {}
        elif block == "Section" and line.startswith("Characteristics ["):
            if int(re.search(r"0x([0-9A-F]+)", line).group(1), 16) & 0x1000:  # LNK_COMDAT
                comdat.add(fields.get("Number"))
        elif block and ":" in line:
            key, value = (part.strip() for part in line.split(":", 1))
            fields[key] = value
            section = re.search(r"\((\d+)\)$", fields.get("Section", ""))
            if block == "Symbol" and key == "AuxSymbolCount" and section and section.group(1) != "0" \
                    and fields.get("StorageClass", "").startswith("External") and section.group(1) not in comdat:
                name = fields["Name"][1:] if x86 else fields["Name"]  # x86 C names carry a '_'
                if not re.match(r"_Z[A-Z]*N6korvex", name):
                    names.add(name)
print(" ".join(sorted(names)))
PY
}

echo "== archive contents"
ok=1
for file in README.md LICENSE CHANGELOG.md include/VelKorvexOverlay.h examples/overlay-sample/overlay_sample.c \
            examples/overlay-sample/CMakeLists.txt; do
  [ -f "$unpacked/$file" ] || problem "the archive lacks $file"
done
docs=$(cd "$unpacked/docs" && ls | tr '\n' ' ')
[ "$docs" = "integration.md protocol.md " ] || problem "docs/ holds [$docs], expected the overlay developer's two"
for arch in x86 x64; do
  names=$(outside_namespace "$unpacked/lib/$arch/libVelKorvexOverlayCpp.a")
  [ -z "$names" ] || problem "lib/$arch/libVelKorvexOverlayCpp.a defines global names outside korvex: $names"
done
[ $ok -eq 1 ] && echo "package: contents as documented; the C++ library's global names are all in korvex::"

for arch in x64 x86; do
  if [ $arch = x64 ]; then triple=x86_64-w64-mingw32 wine=build/win64 x86=(); else
    triple=i686-w64-mingw32 wine=build/win32 x86=(-D_X86_); fi
  toolchain=$root/cmake/toolchain-${triple%%-*}.cmake
  dir=$work/$arch
  echo "== $arch"
  ok=1
  for dll in VelKorvexHooks VelKorvexOverlay; do
    bash scripts/check-dll.sh --stripped $([ $dll = VelKorvexOverlay ] && echo --overlay) \
      "$unpacked/$arch/$dll.dll" || ok=0
  done
  pdb_ok "$unpacked/$arch/VelKorvexHooks.dll" || ok=0
  pdb_ok "$unpacked/$arch/VelKorvexOverlay.dll" || ok=0

  # MinGW: the C++ consumer and the sample, as a user configures them.
  cmake -S tests/package -B "$dir/consumer" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$unpacked" -DKORVEX_EXPECTED_VERSION="$version" >"$dir.log" 2>&1 &&
    cmake --build "$dir/consumer" -j2 >>"$dir.log" 2>&1 &&
    cmake -S "$unpacked/examples/overlay-sample" -B "$dir/sample" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DVelKorvexHooks_DIR="$unpacked/lib/cmake/VelKorvexHooks" >>"$dir.log" 2>&1 &&
    cmake --build "$dir/sample" >>"$dir.log" 2>&1 ||
    { problem "$arch MinGW builds failed:"; tail -20 "$dir.log"; continue; }
  bash scripts/check-dll.sh --imports "$dir/consumer/consumer.exe" >/dev/null ||
    problem "$arch consumer.exe needs more than system DLLs: $(bash scripts/check-dll.sh --imports "$dir/consumer/consumer.exe")"

  # MSVC ABI: clang-cl and lld-link with the archive's header and import library. No Windows SDK
  # or MSVC runtime here, so MinGW's C headers (read as by GCC) and msvcrt.dll stand in for them.
  msvc=$dir/msvc
  mkdir -p "$msvc/hooks"
  for source in "$unpacked/examples/overlay-sample/overlay_sample.c" tests/package/c_api_check.c \
                tests/package/msvc_entry.c; do
    clang-cl-14 --target=${triple%%-*}-pc-windows-msvc /nologo /O2 /W4 /WX /GS- -Xclang -fgnuc-version=4.2.1 \
      -D__USE_MINGW_ANSI_STDIO=0 "${x86[@]}" -imsvc "/usr/$triple/include" /I "$unpacked/include" \
      /c /Fo"$msvc/$(basename "${source%.c}").obj" -- "$source" >>"$dir.log" 2>&1 || ok=0
  done
  for program in overlay_sample c_api_check; do
    lld-link /nologo /entry:mainCRTStartup /subsystem:console /nodefaultlib $([ $arch = x86 ] && echo /safeseh:no) \
      /out:"$msvc/$program.exe" "$msvc/$program.obj" "$msvc/msvc_entry.obj" "$unpacked/lib/$arch/VelKorvexOverlay.lib" \
      "/usr/$triple/lib/libmsvcrt.a" "/usr/$triple/lib/libkernel32.a" >>"$dir.log" 2>&1 || ok=0
  done
  [ $ok -eq 1 ] || { problem "$arch checks or MSVC-ABI builds failed:"; tail -20 "$dir.log"; continue; }
  cp "$unpacked/$arch/VelKorvexOverlay.dll" "$unpacked/$arch/korvex-peer.exe" "$msvc/"
  cp "$unpacked/$arch/VelKorvexHooks.dll" "$msvc/hooks/"

  # The demo game of the build folder with the reference proxy, beside the sample.
  game=$dir/game
  mkdir -p "$game"
  for tool in demo-game.exe d3d11.dll injector.exe; do
    [ -f "$root/$wine/bin/$tool" ] || cmake --build "$root/$wine" --target demo-game injector -j2 >>"$dir.log" 2>&1
  done
  cp "$root/$wine"/bin/{demo-game.exe,d3d11.dll,injector.exe} "$dir/sample"/{overlay-sample.exe,*.dll} "$game/" ||
    { problem "$arch: no demo game in $wine"; continue; }

  bash scripts/wine-env.sh start "$wine" ${wine#build/} >/dev/null || { problem "no Wine for $wine"; continue; }
  wine_environment "$root/$wine"
  peer_version=$(cd "$msvc" && bash "$root/cmake/wine-run.sh" "$root/$wine" ./korvex-peer.exe --version 2>&1 | tr -d "\r")
  [ "$peer_version" = "korvex-peer $version" ] ||
    problem "$arch korvex-peer --version printed '$peer_version', expected 'korvex-peer $version'"

  if ! (cd "$dir/consumer" && timeout 120 bash "$root/cmake/wine-run.sh" "$root/$wine" ./consumer.exe); then
    problem "the $arch C++ consumer failed"; cat "$dir/consumer/peer.txt" 2>/dev/null
  elif [ "$(grep -c '^{"type":"KeyboardInput","virtualKey":75,' "$dir/consumer/peer.txt")" != 2 ]; then
    problem "the $arch peer did not print K down and up as sent by the DLL:"; cat "$dir/consumer/peer.txt"
  fi

  # The sample in the demo game: Init for the game's window thread, input taken, K and Escape.
  cd "$game"
  background game.txt ./demo-game.exe --quit-after 90
  if wait_for game.txt '^ready ' 60; then
    ready=$(lines game.txt | grep -m1 '^ready ')
    pid=$(sed 's/.* pid=\([0-9]*\).*/\1/' <<<"$ready") thread=$(sed 's/.* thread=\([0-9]*\).*/\1/' <<<"$ready")
    main=$(sed 's/.* main=\([0-9A-Fa-f]*\).*/\1/' <<<"$ready")
    background sample.txt ./overlay-sample.exe "$pid" 30
    if wait_for game.txt 'proxy InputActive active=1' 60 &&
       "${WINE_CMD[@]}" ./injector.exe focus "$main" key 0x4B key 0x1B >injector.txt 2>&1 </dev/null &&
       wait_for sample.txt.rc . 60; then
      got=$(lines sample.txt | grep -E '^KeyboardInput key=0x(4B|1B)|^input given back' | tr '\n' '|')
      # While the sample had the input, the game's window procedure saw none of the keys.
      seen=$(lines game.txt | sed '/proxy InputActive active=0/q' | grep -E 'WM_(KEYDOWN|CHAR)')
      [ "$got" = "KeyboardInput key=0x4B down|KeyboardInput key=0x4B up|KeyboardInput key=0x1B down|input given back|" ] &&
        [ "$(cat sample.txt.rc)" = 0 ] && grep -q "proxy Init thread=$thread raw=0 ok=1" game.txt && [ -z "$seen" ] ||
        problem "$arch sample in the demo game: keys [$got], exit $(cat sample.txt.rc), game's hooks: $(grep 'proxy Init' game.txt), keys the game saw: [$seen]"
    else
      problem "$arch sample in the demo game did not take the input or did not end"
    fi
  else
    problem "$arch demo game did not start"
  fi
  [ $ok -eq 1 ] || { echo "-- game:"; lines game.txt | tail -15; echo "-- sample:"; lines sample.txt; cat sample.txt.err; }

  # The MSVC-ABI programs: the checks, then the sample against korvex-peer playing the game.
  cd "$msvc"
  "${WINE_CMD[@]}" ./c_api_check.exe >c_api_check.txt 2>&1 </dev/null ||
    { problem "$arch MSVC-ABI c_api_check failed:"; lines c_api_check.txt; }
  printf '%s\n' "mouse 0x200 10 -3" "mouse 0x20A 5 6 -120" "key 0x41" "key 0x41 up" "value 7 8" "notice" \
    "raw 2A00000001" "key 0x1B" >records.txt
  background sample.txt ./overlay_sample.exe 3900000002 30
  background peer.txt ./korvex-peer.exe --game 3900000002 --input records.txt
  if wait_for sample.txt.rc . 60 && wait_for peer.txt.rc . 30; then
    got=$(lines sample.txt | sed '1,2d' | tr '\n' '|')
    want="MouseInput message=0x200 x=10 y=-3 wheel=0|MouseInput message=0x20A x=5 y=6 wheel=-120|"
    want+="KeyboardInput key=0x41 down|KeyboardInput key=0x41 up|ValuePair|Notice|malformed message: tag 42, 5 bytes|"
    want+="KeyboardInput key=0x1B down|input given back|"
    [ "$got" = "$want" ] && [ "$(cat sample.txt.rc)" = 0 ] &&
      grep -q "^overlay-sample (VelKorvexOverlay $version)" sample.txt ||
      problem "$arch MSVC-ABI sample printed [$(lines sample.txt | tr '\n' '|')], exit $(cat sample.txt.rc)"
    got=$(lines peer.txt | tr '\n' '|')
    [ "$got" = "InputActive active=1|InputActive active=0|" ] ||
      problem "$arch korvex-peer --game got [$got] from the MSVC-ABI sample; $(tr -d '\r' <peer.txt.err | tr '\n' ' ')"
  else
    problem "$arch MSVC-ABI sample or korvex-peer --game did not end:"; lines sample.txt; lines peer.txt.err
  fi
  cd "$root"
  # Stopping the wineserver also ends the demo game and anything else still running.
  bash scripts/wine-env.sh stop "$wine"
  if [ $ok -eq 1 ]; then
    echo "package: $arch: DLLs and PDBs checked; C++ consumer: K from the DLL's hooks to the peer;"
    echo "         sample (MinGW) in the demo game: K and Escape, swallowed; sample (MSVC ABI) <-> korvex-peer --game:"
    echo "         8 records of every kind one way, InputActive on and off the other; C checks passed"
    passed+=($arch)
  fi
done
result=$([ $fail -eq 0 ] && echo "all checks passed" || echo "FAILED (see above)")
echo "package: $archive: $result; runs passed: ${passed[*]:-none}"
exit $fail
