#!/usr/bin/env bash
# Runs every test: checks that clang-format would change no tracked C/C++ file, builds the three
# presets, runs the native suite (sanitizers on) and the Wine suite, checks the i686 DLL, builds
# the release archive and tests it as a user would (scripts/package-test.sh). Prints both CTest
# summaries and the package test's; exits non-zero on any failure.
set -u
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh || exit 1
mkdir -p build
status=0

echo "== format check"
if git ls-files -z -- '*.c' '*.cc' '*.cpp' '*.h' '*.hpp' | xargs -0 clang-format --dry-run -Werror; then
  echo "clang-format: every tracked C/C++ file is formatted"
else
  echo "clang-format: the files above need clang-format -i"; status=1
fi

for preset in native win32 win64; do
  cmake --preset "$preset" >"build/build-$preset.log" 2>&1 && cmake --build --preset "$preset" -j2 >>"build/build-$preset.log" 2>&1 \
    || { echo "== build of $preset failed:"; tail -40 "build/build-$preset.log"; exit 1; }
  rm -f "build/build-$preset.log"
done

echo "== native suite"
ctest --preset native >build/native-ctest.log 2>&1 || status=1
sed -n '/tests passed/,$p' build/native-ctest.log

echo "== i686 DLL check"
bash scripts/check-dll.sh build/win32/bin/VelKorvexHooks.dll || status=1

echo "== Wine suite"
bash scripts/wine-env.sh start build/win64
ctest --preset win64 >build/wine-ctest.log 2>&1 || status=1
sed -n '/tests passed/,$p' build/wine-ctest.log
bash scripts/wine-env.sh stop build/win64

echo "== release archive and package test"
# Into a file, not a pipe: Wine's helper processes would hold a pipe open.
{ bash scripts/release.sh && bash scripts/package-test.sh; } >build/package.log 2>&1 || status=1
cat build/package.log

if [ -f scripts/fuzz.sh ]; then
  echo "== short fuzzing run"
  bash scripts/fuzz.sh short || status=1
fi

echo "== summary"
echo "native: $(grep -E 'tests passed' build/native-ctest.log)"
echo "wine:   $(grep -E 'tests passed' build/wine-ctest.log)"
echo "$(grep -E '^package: ' build/package.log | tail -1)"
exit $status
