#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang and runs each for a bounded time. Exits non-zero
# when libFuzzer does (a finding, or a harness that could not run), with its logs.
#   FUZZ_RUNS (default 10000000) executions, FUZZ_SECONDS (default 1200) at most, per harness;
#   FUZZ_JOBS (default 2) processes share them; FUZZ_TARGETS (default "parsesourcepath
#   projectfile cmdserver") picks the harnesses.
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
cmake --build "$dir" --target fuzz_parsesourcepath fuzz_projectfile fuzz_cmdserver >&2

export ASAN_OPTIONS="detect_leaks=0"
jobs=${FUZZ_JOBS:-2}
runs=${FUZZ_RUNS:-10000000}

# fuzz <harness> <corpus folder> <max input length>: one job per core, each running its share
# of the executions and logging to fuzz-<job>.log; any finding or failure ends the script.
fuzz() {
  local harness=$1 corpus=$2 max_len=$3 status=0 total=0
  (
    cd "$dir"
    rm -f fuzz-*.log fuzzer.log
    "$dir/tests/fuzz/$harness" "$corpus" -jobs="$jobs" -workers="$jobs" -runs=$((runs / jobs)) \
      -max_total_time="${FUZZ_SECONDS:-1200}" -max_len="$max_len" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
      >fuzzer.log 2>&1 || status=$?
    logs=(fuzz-*.log)
    if [ "$status" -ne 0 ] || [ ! -e "${logs[0]}" ]; then
      cat fuzzer.log
      for log in "${logs[@]}"; do [ -e "$log" ] && cat "$log"; done
      echo "fuzz: $harness exited with status $status" >&2
      exit $((status == 0 ? 1 : status))
    fi
    for log in "${logs[@]}"; do
      grep -q 'ERROR: libFuzzer\|ERROR: AddressSanitizer\|runtime error' "$log" && { cat "$log"; echo "fuzz: finding in $log"; exit 1; }
      n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
      total=$((total + ${n:-0}))
    done
    echo "$harness: $total executions in $jobs jobs"
    # A job stopped by the time limit (or one that never printed its statistics) ran fewer
    # executions than asked for: that is not a full clean run.
    expected=$(((runs / jobs) * jobs))
    if [ "$total" -lt "$expected" ]; then
      echo "fuzz: $harness ran $total of $expected executions (FUZZ_RUNS=$runs) within FUZZ_SECONDS=${FUZZ_SECONDS:-1200}; not a full run" >&2
      exit 1
    fi
    echo "$harness: no findings"
  )
}

targets=" ${FUZZ_TARGETS:-parsesourcepath projectfile cmdserver} "

if [[ $targets == *" parsesourcepath "* ]]; then
corpus="$dir/corpus/parsesourcepath"
mkdir -p "$corpus"
printf '%s' 'C:/shots/shot_v02.####.exr 1-10 (1-4 6-8 10)' > "$corpus/seed-runs"
printf '%s' '/a/render.##.exr 99-101' > "$corpus/seed-range"
printf '%s' 'C:/dir name/clip.mov' > "$corpus/seed-file"
fuzz fuzz_parsesourcepath "$corpus" 512
fi

# Project files: the golden file of the tests and small ones of each format.
if [[ $targets == *" projectfile "* ]]; then
corpus="$dir/corpus/projectfile"
mkdir -p "$corpus"
# The first byte picks the format: even the current one, odd the older one.
{ printf '0'; cat "$root/tests/project/golden.plvx2"; } > "$corpus/seed-golden"
printf '%s' '1{"_meta":{"format":"plvx","version":1},"folders":[{"_id":"{00000000-0000-0000-0000-00000000000a}","parent_id":"{00000000-0000-0000-0000-00000000000b}","index":0}],"sources":[{"_id":"{00000000-0000-0000-0000-0000000000c1}","path":"/x.mov","frame":3,"bookmarks":[{"frame":2,"strokes":[{"width":1,"color":"#ff000000","type":0,"points":"1,2;"}]}]}],"timelines":[{"elements":[{"source_id":"{00000000-0000-0000-0000-0000000000c1}"}]}]}' > "$corpus/seed-older"
fuzz fuzz_projectfile "$corpus" 16384
fi

# Client API byte streams: the first byte says whether the server is initialized.
if [[ $targets == *" cmdserver "* ]]; then
corpus="$dir/corpus/cmdserver"
mkdir -p "$corpus"
printf '%s' '1x0000000026{"cmd":"echo","text":"hi"}' > "$corpus/seed-echo"
printf '%s' '0x0000000040{"cmd":"initialize","api_version":"1.0.0"}0000000022{"cmd":"get_folders"}' > "$corpus/seed-init"
printf '%s' '1x0000000049{"cmd":"add_timeline","name":"T","parent_id":""}abcdefghij' > "$corpus/seed-timeline"
printf '%s' '1x0000000119{"cmd":"queue_export","output_dir_path":"/o","base_file_name":"b","ext":"png","width":2,"height":2,"viewer_capture":true}' > "$corpus/seed-export"
printf '%s' '1x00000000860000000000{"cmd":"update","object":{"id":"{00000000-0000-0000-0000-000000000001}","name":"x"}}' > "$corpus/seed-update"
fuzz fuzz_cmdserver "$corpus" 4096
fi
