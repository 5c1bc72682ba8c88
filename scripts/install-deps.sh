#!/usr/bin/env bash
# Installs every Debian package Plovex needs to build, run, test and benchmark.
# Idempotent: packages already present are left alone and nothing else is fetched.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build ccache pkg-config clang libclang-rt-14-dev
  # Qt 6
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libqt6opengl6-dev qt6-tools-dev
  qt6-qpa-plugins libgl-dev libgl1-mesa-dri libegl-mesa0 libglx-mesa0
  # media
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  librubberband-dev ffmpeg
  # tests and benchmarks
  xvfb xauth pulseaudio pulseaudio-utils sox dbus libbenchmark-dev
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
