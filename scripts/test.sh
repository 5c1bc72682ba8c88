#!/usr/bin/env bash
# Installs what is missing, builds, starts what the tests need (an X server and a PulseAudio
# daemon with a null sink, each only when none is running) and runs the whole suite.
# Exits non-zero on any failure. Extra arguments go to ctest (e.g. -L media, -R Source).
#   PLOVEX_SANITIZE=1 / PLOVEX_WERROR=1   see scripts/build.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/scripts/install-deps.sh"
dir=$(bash "$root/scripts/build.sh" | tail -n 1)

started=()
cleanup() {
  for pid in "${started[@]:-}"; do
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  done
  [ -n "${runtime:-}" ] && rm -rf "$runtime"
}
trap cleanup EXIT

runtime=$(mktemp -d /tmp/plovex-test.XXXXXX)
chmod 700 "$runtime"

source "$root/scripts/services.sh"
start_display
start_sound
no_bus_autolaunch
# The sound tests and the OpenGL tests fail rather than skip when the server, or an OpenGL
# 3.3 context on the display, is missing after all.
export PLOVEX_SOUND_REQUIRED=1
export PLOVEX_GL_REQUIRED=1

# Shared-memory keys and temporary files of the tests stay in our own folder.
export TMPDIR="$runtime"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

cd "$dir"
# Each test's time limit comes from its label (tests/CMakeLists.txt).
ctest --output-on-failure -j2 "$@"
