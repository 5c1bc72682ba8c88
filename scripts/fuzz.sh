#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang and runs each for a bounded time.
#   FUZZ_RUNS (default 10000000) executions, FUZZ_SECONDS (default 1200) at most, per harness.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"

dir=${PLOVEX_FUZZ_DIR:-$root/build-fuzz}
CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPLOVEX_FUZZ=ON -DPLOVEX_BUILD_TESTS=OFF -DPLOVEX_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" --target fuzz_parsesourcepath >&2

corpus="$dir/corpus/parsesourcepath"
mkdir -p "$corpus"
printf '%s' 'C:/shots/shot_v02.####.exr 1-10 (1-4 6-8 10)' > "$corpus/seed-runs"
printf '%s' '/a/render.##.exr 99-101' > "$corpus/seed-range"
printf '%s' 'C:/dir name/clip.mov' > "$corpus/seed-file"

export ASAN_OPTIONS="detect_leaks=0"
jobs=${FUZZ_JOBS:-2}
runs=${FUZZ_RUNS:-10000000}
cd "$dir"
rm -f fuzz-*.log
# One job per core; each runs its share of the executions.
"$dir/tests/fuzz/fuzz_parsesourcepath" "$corpus" -jobs="$jobs" -workers="$jobs" -runs=$((runs / jobs)) \
  -max_total_time="${FUZZ_SECONDS:-3600}" -max_len=512 -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
  >/dev/null 2>&1 || true
total=0
for log in fuzz-*.log; do
  grep -q 'ERROR: libFuzzer\|ERROR: AddressSanitizer\|runtime error' "$log" && { cat "$log"; echo "fuzz: finding in $log"; exit 1; }
  n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  total=$((total + ${n:-0}))
done
echo "fuzz_parsesourcepath: $total executions in $jobs jobs, no findings"
