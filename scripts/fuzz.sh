#!/usr/bin/env bash
# Builds the libFuzzer target in fuzz/ (the record codec, natively, under ASan + UBSan) with clang
# into build/fuzz and runs it.
#   fuzz.sh short   about 60 s (part of scripts/test.sh)
#   fuzz.sh long    about 5 minutes per target
# The corpus of each target is kept in build/fuzz/corpus/<target> and grows from run to run;
# crash inputs land in build/fuzz/artifacts. Exits non-zero when a target finds a fault.
set -u
cd "$(dirname "$0")/.."
mode=${1:-short}
case "$mode" in
  short) seconds=60 ;;
  long) seconds=300 ;;
  *) echo "usage: fuzz.sh short|long" >&2; exit 2 ;;
esac

build=$(pwd)/build/fuzz
{ cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
  cmake --build "$build" -j2; } >"$build.log" 2>&1 || { echo "fuzz: build failed:"; tail -30 "$build.log"; exit 1; }
rm -f "$build.log"

status=0
mkdir -p "$build/artifacts"
for target in record_codec_fuzz; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  log="$build/$target.log"
  "$build/$target" "$corpus" -max_total_time="$seconds" -max_len=1024 -timeout=10 \
    -rss_limit_mb=2048 -artifact_prefix="$build/artifacts/$target-" -print_final_stats=1 \
    >"$log" 2>&1 </dev/null
  rc=$?
  runs=$(grep -oE '^stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$')
  cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -1)
  if [ $rc -eq 0 ]; then
    echo "fuzz: $target: ${runs:-?} executions in ${seconds} s, ${cov:-cov: ?}, corpus $(ls "$corpus" | wc -l) inputs, no findings"
  else
    echo "fuzz: $target FOUND A FAULT (exit $rc); input in $build/artifacts:"
    grep -E 'ERROR|runtime error|SUMMARY|Test unit written' "$log" | head -10
    status=1
  fi
done
exit $status
