#!/usr/bin/env bash
# Configures and builds Plovex with CMake and Ninja; prints the build folder on the last line.
#   PLOVEX_SANITIZE=1  AddressSanitizer + UndefinedBehaviorSanitizer (folder build-asan)
#   PLOVEX_WERROR=1    warnings are errors
#   PLOVEX_BUILD_DIR   overrides the build folder
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

sanitize=${PLOVEX_SANITIZE:-0}
werror=${PLOVEX_WERROR:-0}
if [ "$sanitize" = 1 ]; then
  dir=${PLOVEX_BUILD_DIR:-$root/build-asan}
  type=Debug
else
  dir=${PLOVEX_BUILD_DIR:-$root/build}
  type=RelWithDebInfo
fi

on() { [ "$1" = 1 ] && echo ON || echo OFF; }
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=$type \
  -DPLOVEX_SANITIZE="$(on "$sanitize")" -DPLOVEX_WERROR="$(on "$werror")" >/dev/null
cmake --build "$dir" >&2
echo "$dir"
