#!/usr/bin/env bash
# Generates the test media into the folder given as $1 with the ffmpeg executable.
# Skips the work when the folder already holds media made by this same script.
#
# Video frames carry their own frame number: the top quarter of every picture is split into
# 16 columns, column k white when bit k of the frame number is set and black otherwise, in
# blocks large enough that compression and chroma subsampling cannot flip a bit. The rest of
# the picture is a colour gradient. Audio is a 440 Hz sine unless a name says otherwise.
set -euo pipefail

out=${1:?usage: generate_media.sh OUTPUT_DIR}
mkdir -p "$out"
stamp="$out/.stamp"
hash=$(sha1sum "$0" | cut -d' ' -f1)
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$hash" ]; then
  exit 0
fi
rm -f "$stamp"

ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

# numbered WIDTH HEIGHT RATE SECONDS: a lavfi source of frame-numbered pictures.
numbered() {
  local w=$1 h=$2 rate=$3 seconds=$4
  echo "color=c=black:s=64x36:r=${rate}:d=${seconds},format=yuv444p,geq=lum='if(lt(Y,9),if(mod(floor(N/pow(2,floor(X/4))),2),235,16),40+X*2)':cb='if(lt(Y,9),128,128+(Y-9)*3)':cr='if(lt(Y,9),128,200-X)',scale=${w}:${h}:flags=neighbor,setsar=1"
}

tone() { echo "sine=frequency=${1:-440}:sample_rate=${2:-48000}:duration=${3}"; }

x264=(-c:v libx264 -preset veryfast -pix_fmt yuv420p)

# 1080p H.264 with AAC, GOP 12, BT.601 tags (the width rule makes it rec709 all the same).
ff -f lavfi -i "$(numbered 1920 1080 25 3)" -f lavfi -i "$(tone 440 48000 3)" \
   "${x264[@]}" -g 12 -bf 2 -colorspace smpte170m -color_primaries smpte170m -color_trc smpte170m \
   -c:a aac -b:a 128k -ac 2 -movflags +faststart "$out/clip_1080p25.mp4"

# The same picture, 5 s at GOP 250 (a single keyframe), no audio.
ff -f lavfi -i "$(numbered 1920 1080 25 5)" "${x264[@]}" -g 250 -keyint_min 250 -sc_threshold 0 \
   "$out/clip_1080p25_gop250.mp4"

# 23.976 fps, PAL size with 16:9 pixels (64:45), SMPTE 170M: stays BT.601.
ff -f lavfi -i "$(numbered 720 576 24000/1001 2),setsar=64/45" "${x264[@]}" -g 24 \
   -colorspace smpte170m -color_primaries smpte170m -color_trc smpte170m "$out/clip_23976.mp4"

# 23.976 fps with a single keyframe.
ff -f lavfi -i "$(numbered 720 576 24000/1001 3)" "${x264[@]}" -g 250 -keyint_min 250 -sc_threshold 0 \
   "$out/clip_23976_gop250.mp4"

# 1366 pixels wide: rows padded to 1368.
ff -f lavfi -i "$(numbered 1366 768 25 1)" "${x264[@]}" -g 12 "$out/clip_1366.mp4"

# Rotation metadata (display matrix) of 90 degrees.
ff -f lavfi -i "$(numbered 640 360 25 1)" "${x264[@]}" -g 12 "$out/unrotated.tmp.mp4"
ff -i "$out/unrotated.tmp.mp4" -c copy -metadata:s:v:0 rotate=90 "$out/clip_rotated.mp4"

# First timestamp at -0.2 s (MPEG-TS keeps negative times).
ff -copyts -i "$out/unrotated.tmp.mp4" -c copy -mpegts_copyts 1 -output_ts_offset -0.2 \
   -avoid_negative_ts disabled -f mpegts "$out/clip_negative_ts.mts"
rm -f "$out/unrotated.tmp.mp4"

# BT.2020 tagged.
ff -f lavfi -i "$(numbered 640 360 25 1)" "${x264[@]}" -g 12 \
   -colorspace bt2020nc -color_primaries bt2020 -color_trc bt2020-10 "$out/clip_bt2020.mp4"

# RGBA pictures (PNG in a movie container) and a 1 x 1 picture.
ff -f lavfi -i "$(numbered 64 48 25 1),format=rgba" -c:v png "$out/clip_rgba.mov"
ff -f lavfi -i "color=c=red:size=2x2:r=25:d=1" -vf scale=1:1 -c:v ffv1 -pix_fmt yuv444p "$out/clip_1x1.mkv"

# One colour (R 192, G 48, B 80) under each YUV matrix, and once in full range: lossless, so
# that only the conversion back to RGB decides what is shown.
for rule in 601:smpte170m:tv 709:bt709:tv 2020:bt2020nc:tv 709full:bt709:pc; do
  IFS=: read -r name matrix range <<< "$rule"
  primaries=$matrix; [ "$matrix" = bt2020nc ] && primaries=bt2020
  [ "$matrix" = smpte170m ] && primaries=smpte170m
  ff -f lavfi -i "color=c=0xC03050:size=320x180:r=25:d=0.2" \
     -vf "format=rgb24,scale=out_color_matrix=${matrix/nc/}:out_range=$range,format=yuv420p" \
     -colorspace "$matrix" -color_primaries "$primaries" -color_range "$range" -c:v ffv1 "$out/colour_$name.mkv"
done

# Audio only.
ff -f lavfi -i "$(tone 440 44100 2)" -ac 2 -c:a pcm_s16le "$out/tone_44100.wav"
ff -f lavfi -i "$(tone 440 48000 2)" -ac 1 -c:a pcm_s16le "$out/tone_mono.wav"
ff -f lavfi -i "aevalsrc=sin(440*2*PI*t)|sin(440*2*PI*t)|sin(440*2*PI*t)|sin(110*2*PI*t)|sin(440*2*PI*t)|sin(440*2*PI*t):s=48000:c=5.1:d=2" \
   -c:a pcm_s16le "$out/tone_51.wav"

# A steady 440 Hz tone, amplitude 0.2, 48 kHz stereo float, 4 s: the sound the output tests
# play and record.
ff -f lavfi -i "aevalsrc=0.2*sin(440*2*PI*t)|0.2*sin(440*2*PI*t):s=48000:d=4" -c:a pcm_f32le "$out/tone_440.wav"
# The same tone for 6 s: two seconds of play at 2x and a margin on either side.
ff -f lavfi -i "aevalsrc=0.2*sin(440*2*PI*t)|0.2*sin(440*2*PI*t):s=48000:d=6" -c:a pcm_f32le "$out/tone_440_6s.wav"

# Damaged files: cut short with the index in front, cut short with the index lost, noise.
size=$(stat -c %s "$out/clip_1080p25.mp4")
head -c $((size * 2 / 5)) "$out/clip_1080p25.mp4" > "$out/truncated.mp4"
ff -f lavfi -i "$(numbered 640 360 25 1)" "${x264[@]}" "$out/moov_at_end.tmp.mp4"
size=$(stat -c %s "$out/moov_at_end.tmp.mp4")
head -c $((size / 2)) "$out/moov_at_end.tmp.mp4" > "$out/truncated_no_index.mp4"
rm -f "$out/moov_at_end.tmp.mp4"
ff -f lavfi -i "anoisesrc=seed=7:sample_rate=48000:duration=0.4" -f s16le "$out/random.mp4"
cp "$out/clip_1080p25.mp4" "$out/corrupt_packets.mp4"
size=$(stat -c %s "$out/corrupt_packets.mp4")
dd if="$out/random.mp4" of="$out/corrupt_packets.mp4" bs=1 seek=$((size / 2)) count=3000 conv=notrunc status=none
# A picture far larger than the decoder accepts (9000 x 9000).
ff -f lavfi -i "color=c=gray:size=9000x9000:r=25:d=0.04" -c:v ffv1 -pix_fmt gray "$out/huge_9000.mkv"

# Image sequences: 24 frame-numbered pictures at 320 x 180 (file seq.0001 shows picture 0),
# as PNG and as OpenEXR (half float, ZIP1) made from the same PNG files, so that both hold
# the same 8-bit values. File 0008 is missing from both.
rm -rf "$out/seq_png" "$out/seq_exr" "$out/seq_damaged" "$out/seq_big" "$out/seq_mixed"
mkdir -p "$out/seq_png" "$out/seq_exr" "$out/seq_damaged" "$out/seq_big" "$out/seq_mixed"
ff -f lavfi -i "$(numbered 320 180 24 1),format=rgb24" -start_number 1 "$out/seq_png/seq.%04d.png"
ff -start_number 1 -i "$out/seq_png/seq.%04d.png" -vf format=gbrpf32le -c:v exr -format half -compression zip1 \
   -start_number 1 "$out/seq_exr/seq.%04d.exr"
rm "$out/seq_png/seq.0008.png" "$out/seq_exr/seq.0008.exr"
# 12 pictures where file 0004 is random bytes, file 0006 is cut short, and file 0009 has a
# valid header but damaged picture data.
ff -f lavfi -i "$(numbered 320 180 24 0.5),format=rgb24" -start_number 1 "$out/seq_damaged/d.%04d.png"
head -c 5000 "$out/random.mp4" > "$out/seq_damaged/d.0004.png"
size=$(stat -c %s "$out/seq_damaged/d.0006.png")
head -c $((size / 3)) "$out/seq_png/seq.0006.png" > "$out/seq_damaged/d.0006.png"
size=$(stat -c %s "$out/seq_damaged/d.0009.png")
head -c 200 /dev/zero | tr '\0' '\377' | dd of="$out/seq_damaged/d.0009.png" bs=1 seek=$((size / 2)) conv=notrunc status=none
# Four files that differ from each other: 320 x 180 RGB, 321 x 181 RGB, 320 x 180 RGBA, and
# 320 x 180 RGB again; file m.000k shows picture k - 1.
for kind in a:320x180:rgb24 b:321x181:rgb24 c:320x180:rgba; do
  IFS=: read -r name size format <<< "$kind"
  ff -f lavfi -i "$(numbered "${size%x*}" "${size#*x}" 24 0.16),format=$format" -start_number 1 "$out/seq_mixed/$name.%04d.png"
done
mv "$out/seq_mixed/a.0001.png" "$out/seq_mixed/m.0001.png"
mv "$out/seq_mixed/b.0002.png" "$out/seq_mixed/m.0002.png"
mv "$out/seq_mixed/c.0003.png" "$out/seq_mixed/m.0003.png"
mv "$out/seq_mixed/a.0004.png" "$out/seq_mixed/m.0004.png"
rm -f "$out"/seq_mixed/[abc].*.png
# Four 1080p OpenEXR pictures that keep workers busy for a while.
ff -f lavfi -i "$(numbered 1920 1080 24 0.16),format=gbrpf32le" -c:v exr -format half -compression zip1 \
   -start_number 1 "$out/seq_big/big.%04d.exr"

# A path with spaces and characters outside ASCII.
mkdir -p "$out/dir with späces"
cp "$out/clip_rotated.mp4" "$out/dir with späces/клип ü.mp4"

# Real lengths, small pictures. A 3-minute soundless clip (24 fps, 4,320 frames), a 1,000-frame
# PNG sequence (l.0001 shows picture 0), and the 440 Hz tone for 20 s: longer than the audio the
# smallest cache holds, even stretched.
ff -f lavfi -i "$(numbered 64 36 24 180)" "${x264[@]}" -preset ultrafast -g 48 "$out/long_silent_3min.mp4"
rm -rf "$out/seq_long" && mkdir -p "$out/seq_long"
ff -f lavfi -i "$(numbered 64 36 24 41.667),format=rgb24" -frames:v 1000 -start_number 1 "$out/seq_long/l.%04d.png"
ff -f lavfi -i "aevalsrc=0.2*sin(440*2*PI*t)|0.2*sin(440*2*PI*t):s=48000:d=20" -c:a pcm_f32le "$out/tone_440_20s.wav"

# JPEG sequences 1004 and 1001 pixels wide (4 and 1 more than a multiple of 8), files
# j.0001 to j.0003 of 128 rows in three flat blocks: columns 0-495 RGB (192, 48, 80), columns
# 496-991 RGB (48, 112, 192), and from column 992 (a boundary of JPEG's 16-pixel blocks) to
# the right edge RGB (208, 176, 32). The planes are drawn directly with those colours' JFIF
# (full-range BT.601) values and stored unconverted: converting RGB to 4:2:0 spoils the last
# chroma column of an odd width.
for w in 1004 1001; do
  rm -rf "$out/seq_jpeg_$w"
  mkdir -p "$out/seq_jpeg_$w"
  ff -f lavfi -i "nullsrc=s=${w}x128:r=24,format=yuv420p,geq=lum='if(lt(X,496),95,if(lt(X,992),102,169))':cb='if(lt(X,248),120,if(lt(X,496),179,51))':cr='if(lt(X,248),197,if(lt(X,496),89,156))'" \
     -frames:v 3 -pix_fmt yuv420p -color_range pc -strict -1 -q:v 2 -start_number 1 "$out/seq_jpeg_$w/j.%04d.jpg"
done

# Sound with a cover picture, 2 s of 440 Hz: an MP4 audio file whose picture is an attached
# picture, and a Matroska file that carries the picture as an attachment.
ff -f lavfi -i "color=c=blue:s=32x32" -frames:v 1 "$out/cover.tmp.png"
ff -f lavfi -i "$(tone 440 48000 2)" -i "$out/cover.tmp.png" -map 0:a -map 1:v -c:a aac -b:a 64k -ac 2 \
   -c:v png -disposition:v:0 attached_pic "$out/tone_cover.m4a"
ff -f lavfi -i "$(tone 440 48000 2)" -ac 2 -c:a flac -attach "$out/cover.tmp.png" -metadata:s:t:0 mimetype=image/png \
   "$out/tone_cover.mkv"
rm -f "$out/cover.tmp.png"

# WebM, VP9 + Opus, 3 s at 25 fps (75 pictures) with a single keyframe. Opus starts before 0,
# so the muxer moves the video's first picture a few milliseconds after 0; when this encoder
# does not, the video input is made to start 7 ms late.
vp9opus() {
  ff "$@" -f lavfi -i "$(numbered 64 36 25 3)" -f lavfi -i "$(tone 440 48000 3)" \
     -c:v libvpx-vp9 -deadline realtime -cpu-used 8 -g 250 -pix_fmt yuv420p -c:a libopus -b:a 32k \
     "$out/clip_vp9_opus.webm"
}
vp9opus
first=$(ffprobe -v error -select_streams v:0 -show_entries packet=pts -of csv=p=0 -read_intervals %+#1 \
        "$out/clip_vp9_opus.webm")
[ "$first" != 0 ] || vp9opus -itsoffset 0.007

# MPEG-TS, H.264 + AAC, 3 s at 25 fps: the muxer starts its streams at about 1.4 s.
ff -f lavfi -i "$(numbered 64 36 25 3)" -f lavfi -i "$(tone 440 48000 3)" "${x264[@]}" -g 12 -bf 2 \
   -c:a aac -b:a 64k -ac 2 -f mpegts "$out/clip_h264_aac.ts"

# The first three pictures of seq_png brought to display gamma by ffmpeg's own lookup table
# (value^(1/2.2)): what the software viewer shows of the linear OpenEXR files made from them.
rm -rf "$out/seq_png_gamma" && mkdir -p "$out/seq_png_gamma"
ff -start_number 1 -i "$out/seq_png/seq.%04d.png" -frames:v 3 \
   -vf "lutrgb=r=gammaval(0.45454545):g=gammaval(0.45454545):b=gammaval(0.45454545)" \
   -start_number 1 "$out/seq_png_gamma/seq.%04d.png"

# 63 x 35 frame-numbered pictures in 4:2:0, 1 s at 25 fps, lossless: odd sizes whose chroma
# planes are 32 x 18, rounded up.
ff -f lavfi -i "$(numbered 63 35 25 1)" -c:v ffv1 -pix_fmt yuv420p "$out/clip_odd_63x35.mkv"

echo "$hash" > "$stamp"
