#!/usr/bin/env bash
# Speed and memory benchmarks, each against a baseline measured in the same run. Prints
# Markdown tables. Not part of CI: the machines are shared and noisy, so every figure is a
# median of repeated runs (BENCH_REPEATS, default 3).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
dir=$(PLOVEX_SANITIZE=0 bash "$root/scripts/build.sh" | tail -n 1)
media="$dir/bench-media"
mkdir -p "$media"
repeats=${BENCH_REPEATS:-3}

ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

# 20 s of 1080p H.264 with a keyframe every 12 frames, and with one every 250.
for gop in 12 250; do
  clip="$media/hd_gop$gop.mp4"
  if [ ! -f "$clip" ]; then
    ff -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=20" \
       -c:v libx264 -preset veryfast -pix_fmt yuv420p -g $gop -keyint_min $gop -sc_threshold 0 "$clip.tmp.mp4"
    mv "$clip.tmp.mp4" "$clip"
  fi
done

# Twenty small clips for the project-file bench (2,000 sources on them).
mkdir -p "$media/project"
for i in $(seq -w 1 20); do
  if [ ! -f "$media/project/clip_$i.mp4" ]; then
    ff -f lavfi -i "testsrc2=size=320x180:rate=24:duration=2" -c:v libx264 -preset ultrafast -pix_fmt yuv420p \
       "$media/project/clip_$i.tmp.mp4"
    mv "$media/project/clip_$i.tmp.mp4" "$media/project/clip_$i.mp4"
  fi
done

# The 1080p picture with sound (AAC, a 440 Hz tone), 30 s, for the sound-against-clock bench.
if [ ! -f "$media/hd_sound.mp4" ]; then
  ff -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=30" -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=30" \
     -c:v libx264 -preset veryfast -pix_fmt yuv420p -g 12 -c:a aac -b:a 128k -ac 2 -shortest "$media/hd_sound.tmp.mp4"
  mv "$media/hd_sound.tmp.mp4" "$media/hd_sound.mp4"
fi

"$dir/bench/bench_videodecode" "$media/hd_gop12.mp4" "$media/hd_gop250.mp4" "$repeats"
"$dir/bench/bench_decodemanager" "$media/hd_gop12.mp4" "$media/hd_gop250.mp4" "$repeats"
"$dir/bench/bench_playback" "$media/hd_gop12.mp4" 20

# 96 frames of 1080p as PNG and as OpenEXR (half float, ZIP), numbered from 1.
for ext in png exr; do
  if [ ! -f "$media/seq_$ext/seq.0096.$ext" ]; then
    rm -rf "$media/seq_$ext" "$media/seq_$ext.tmp"
    mkdir -p "$media/seq_$ext.tmp"
    if [ "$ext" = png ]; then codec=(-pix_fmt rgb24 -c:v png); else codec=(-pix_fmt gbrpf32le -c:v exr -format half -compression zip16); fi
    ff -f lavfi -i "testsrc2=size=1920x1080:rate=24:duration=4" "${codec[@]}" -start_number 1 "$media/seq_$ext.tmp/seq.%04d.$ext"
    mv "$media/seq_$ext.tmp" "$media/seq_$ext"
  fi
done
"$dir/bench/bench_imagesequence" "$media/seq_png/seq.%04d.png" "$media/seq_exr/seq.%04d.exr" "$repeats"

# The renderer needs a display and the sound bench a sound server: our own unless there are
# some already.
started=()
runtime=$(mktemp -d /tmp/plovex-bench.XXXXXX)
chmod 700 "$runtime"
cleanup() {
  for pid in "${started[@]:-}"; do
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  done
  rm -rf "$runtime"
}
trap cleanup EXIT
source "$root/scripts/services.sh"
start_display
start_sound
no_bus_autolaunch

"$dir/bench/bench_projectfile" "$media/project"
# A folder of 1,000 short clips for the import bench: fifty copies of each of the twenty.
mkdir -p "$media/import"
for i in $(seq -w 1 20); do
  for j in $(seq -w 1 50); do
    [ -f "$media/import/shot_${i}_$j.mp4" ] || cp "$media/project/clip_$i.mp4" "$media/import/shot_${i}_$j.mp4"
  done
done
"$dir/bench/bench_projectmanager" "$media/import"
"$dir/bench/bench_render"
"$dir/bench/bench_annotations"
"$dir/bench/bench_timecontrol"
"$dir/bench/bench_audiosync" "$media/hd_sound.mp4" 20
"$dir/bench/bench_export" "$repeats"
python3 "$root/bench/bench_clientapi.py" "$dir/app/plovex" "$media/project/clip_01.mp4" "$root" "$repeats"
