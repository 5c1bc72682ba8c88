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
# Quiet unless configuring fails; then all of its output, which says why (a package that
# pkg-config does not find is reported on standard output).
if ! configured=$(cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=$type \
                    -DPLOVEX_SANITIZE="$(on "$sanitize")" -DPLOVEX_WERROR="$(on "$werror")" 2>&1); then
  printf '%s\n' "$configured" >&2
  echo "build: configuring $dir failed" >&2
  exit 1
fi
cmake --build "$dir" >&2
echo "$dir"
