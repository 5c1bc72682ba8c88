#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang and runs each for a bounded time. Exits non-zero
# when libFuzzer does (a finding, or a harness that could not run), with its logs.
#   FUZZ_RUNS (default 10000000) executions, FUZZ_SECONDS (default 1200) at most, per harness;
#   FUZZ_JOBS (default 2) processes share them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"

dir=${PLOVEX_FUZZ_DIR:-$root/build-fuzz}
if ! configured=$(CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
                    -DPLOVEX_FUZZ=ON -DPLOVEX_BUILD_TESTS=OFF -DPLOVEX_BUILD_BENCH=OFF 2>&1); then
  printf '%s\n' "$configured" >&2
  echo "fuzz: configuring $dir failed" >&2
  exit 1
fi
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
rm -f fuzz-*.log fuzzer.log
# One job per core; each runs its share of the executions and logs to fuzz-<job>.log. The
# driver exits non-zero when any job does.
status=0
"$dir/tests/fuzz/fuzz_parsesourcepath" "$corpus" -jobs="$jobs" -workers="$jobs" -runs=$((runs / jobs)) \
  -max_total_time="${FUZZ_SECONDS:-1200}" -max_len=512 -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
  >fuzzer.log 2>&1 || status=$?
logs=(fuzz-*.log)
if [ "$status" -ne 0 ] || [ ! -e "${logs[0]}" ]; then
  cat fuzzer.log
  for log in "${logs[@]}"; do [ -e "$log" ] && cat "$log"; done
  echo "fuzz: fuzz_parsesourcepath exited with status $status" >&2
  exit $((status == 0 ? 1 : status))
fi
total=0
for log in "${logs[@]}"; do
  grep -q 'ERROR: libFuzzer\|ERROR: AddressSanitizer\|runtime error' "$log" && { cat "$log"; echo "fuzz: finding in $log"; exit 1; }
  n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  total=$((total + ${n:-0}))
done
echo "fuzz_parsesourcepath: $total executions in $jobs jobs, no findings"
