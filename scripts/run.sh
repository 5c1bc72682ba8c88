#!/usr/bin/env bash
# Installs what is missing, builds and starts Plovex with the given files. With no file it
# opens a demo clip (colour bars with a frame counter and a tone), made once with ffmpeg.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/scripts/install-deps.sh"
dir=$(bash "$root/scripts/build.sh" | tail -n 1)

if [ $# -eq 0 ]; then
  demo="$dir/demo/plovex-demo.mp4"
  if [ ! -f "$demo" ]; then
    mkdir -p "$dir/demo"
    ffmpeg -nostdin -hide_banner -loglevel error -y \
      -f lavfi -i "smptehdbars=size=1280x720:rate=25:duration=10" \
      -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=10" \
      -vf "drawtext=text='%{frame_num}':start_number=0:fontsize=120:fontcolor=white:box=1:boxcolor=black@0.6:x=(w-tw)/2:y=h*0.12" \
      -c:v libx264 -preset veryfast -pix_fmt yuv420p -g 25 -c:a aac -b:a 128k -ac 2 -movflags +faststart "$demo.tmp.mp4"
    mv "$demo.tmp.mp4" "$demo"
  fi
  set -- "$demo"
fi

exec "$dir/app/plovex" "$@"
