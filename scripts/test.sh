#!/usr/bin/env bash
# Runs every test: checks that clang-format would change no tracked C/C++ file, builds the two
# Windows presets, checks both DLLs, runs the Wine suite for both builds (i686, the shipped DLL,
# under the private 32-bit Wine; x86_64 under wine64), builds the release archive and tests it as
# a user would (scripts/package-test.sh), and runs a short fuzzing session of the platform-free
# code (ASan + UBSan). Prints the two CTest summaries and the package test's; exits non-zero on
# any failure.
set -u
cd "$(dirname "$0")/.."
# Section headers carry the time since the start, to show where a slow run spends it.
since() { printf '%dm%02ds' $((SECONDS / 60)) $((SECONDS % 60)); }
bash scripts/install-deps.sh || exit 1
mkdir -p build
status=0

echo "== format check (at $(since))"
if git ls-files -z -- '*.c' '*.cc' '*.cpp' '*.h' '*.hpp' | xargs -0 clang-format --dry-run -Werror; then
  echo "clang-format: every tracked C/C++ file is formatted"
else
  echo "clang-format: the files above need clang-format -i"; status=1
fi

for preset in win32 win64; do
  cmake --preset "$preset" >"build/build-$preset.log" 2>&1 && cmake --build --preset "$preset" -j2 >>"build/build-$preset.log" 2>&1 \
    || { echo "== build of $preset failed:"; tail -40 "build/build-$preset.log"; exit 1; }
  rm -f "build/build-$preset.log"
done

echo "== DLL checks (at $(since))"
bash scripts/check-dll.sh build/win32/bin/VelKorvexHooks.dll || status=1
bash scripts/check-dll.sh build/win64/bin/VelKorvexHooks.dll || status=1

# One Wine suite per build: win32 (the shipped DLL and i686 test programs, 32-bit Wine under
# qemu-i386), then win64. Each in its own prefix, display and wineserver, stopped afterwards.
for preset in win32 win64; do
  label=$([ $preset = win32 ] && echo "i686, 32-bit Wine under qemu" || echo "x86_64, wine64")
  echo "== Wine suite: $label (at $(since))"
  if [ $preset = win32 ] && [ "$(cat build/wine32/binfmt 2>/dev/null)" != yes ]; then
    echo "   (no binfmt_misc entry for 32-bit ELF: the tests that start a second process will fail)"
  fi
  log=build/wine-$preset-ctest.log
  if bash scripts/wine-env.sh start "build/$preset"; then
    ctest --preset "$preset" >"$log" 2>&1 || status=1
  else
    echo "wine-env could not start for build/$preset" >"$log"; status=1
  fi
  bash scripts/wine-env.sh stop "build/$preset"
  sed -n '/tests passed/,$p' "$log"
done

echo "== release archive and package test (at $(since))"
# Into a file, not a pipe: Wine's helper processes would hold a pipe open.
{ bash scripts/release.sh && bash scripts/package-test.sh; } >build/package.log 2>&1 || status=1
cat build/package.log

if [ -f scripts/fuzz.sh ]; then
  echo "== short fuzzing run (at $(since))"
  bash scripts/fuzz.sh short || status=1
fi

echo "== summary (after $(since))"
echo "wine i686:   $(grep -E 'tests passed' build/wine-win32-ctest.log || echo 'did not run; see build/wine-win32-ctest.log')"
echo "wine x86_64: $(grep -E 'tests passed' build/wine-win64-ctest.log || echo 'did not run; see build/wine-win64-ctest.log')"
echo "$(grep -E '^package: ' build/package.log | tail -1)"
exit $status
