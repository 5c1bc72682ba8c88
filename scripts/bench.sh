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

"$dir/bench/bench_videodecode" "$media/hd_gop12.mp4" "$media/hd_gop250.mp4" "$repeats"
"$dir/bench/bench_decodemanager" "$media/hd_gop12.mp4" "$media/hd_gop250.mp4" "$repeats"
"$dir/bench/bench_playback" "$media/hd_gop12.mp4" 20

# The renderer needs a display: a virtual one unless there is one already.
if [ -z "${DISPLAY:-}" ]; then
  display=99
  while [ -e "/tmp/.X${display}-lock" ] || [ -S "/tmp/.X11-unix/X${display}" ]; do display=$((display + 1)); done
  Xvfb ":$display" -screen 0 1920x1200x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  trap 'kill $xvfb 2>/dev/null || true' EXIT
  for _ in $(seq 100); do [ -S "/tmp/.X11-unix/X${display}" ] && break; sleep 0.05; done
  export DISPLAY=":$display"
fi
"$dir/bench/bench_render"
