#!/usr/bin/env bash
# Installs every Debian package Plovex needs to build, run, test, benchmark and fuzz, and
# nothing else. Idempotent: packages already present are left alone and nothing else is
# fetched.
set -euo pipefail

packages=(
  # build (ccache when present; clang and its runtime for the fuzzers)
  build-essential cmake ninja-build ccache pkg-config clang libclang-rt-14-dev
  # Qt 6 (moc and rcc from the tools), OpenGL headers
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libqt6opengl6-dev libgl-dev
  # the X platform plugin and Mesa's software OpenGL (GLX), for the window and its tests
  qt6-qpa-plugins libgl1-mesa-dri libglx-mesa0
  # media; the ffmpeg program makes the test media, the demo clip and exports
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  librubberband-dev ffmpeg
  # tests and benchmarks: a display and a sound server with a null sink (pactl, parec)
  xvfb pulseaudio pulseaudio-utils
  # typing keys into windows on the display, as a keyboard does (key binding tests)
  xdotool
  # the client API's Python module, its tests and its benchmark
  python3
  # the desktop entry's check and the MIME database (installation tests)
  desktop-file-utils shared-mime-info
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
