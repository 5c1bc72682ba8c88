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
"$dir/tests/fuzz/fuzz_parsesourcepath" "$corpus" -runs="${FUZZ_RUNS:-10000000}" \
  -max_total_time="${FUZZ_SECONDS:-1200}" -max_len=512 -timeout=10 -rss_limit_mb=4096 -print_final_stats=1
