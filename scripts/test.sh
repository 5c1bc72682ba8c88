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

# X server: a free display of our own unless one is reachable already.
current=${DISPLAY:-}
current=${current#*:}
current=${current%%.*}
if [ -z "$current" ] || [ ! -S "/tmp/.X11-unix/X$current" ]; then
  display=99
  while [ -e "/tmp/.X${display}-lock" ] || [ -S "/tmp/.X11-unix/X${display}" ]; do
    display=$((display + 1))
  done
  Xvfb ":$display" -screen 0 1920x1080x24 -nolisten tcp >"$runtime/xvfb.log" 2>&1 &
  started+=($!)
  for _ in $(seq 100); do
    [ -S "/tmp/.X11-unix/X${display}" ] && break
    sleep 0.05
  done
  export DISPLAY=":$display"
fi

# PulseAudio with a null sink, in its own runtime folder, unless a server answers already.
if ! pactl info >/dev/null 2>&1; then
  export XDG_RUNTIME_DIR="$runtime"
  export PULSE_RUNTIME_PATH="$runtime/pulse"
  mkdir -p "$PULSE_RUNTIME_PATH"
  pulseaudio --daemonize=no --exit-idle-time=-1 --disallow-exit -n \
    --load="module-native-protocol-unix socket=$PULSE_RUNTIME_PATH/native auth-anonymous=1" \
    --load="module-null-sink sink_name=plovex_null rate=48000 channels=2 format=float32le" \
    >"$runtime/pulse.log" 2>&1 &
  started+=($!)
  export PULSE_SERVER="unix:$PULSE_RUNTIME_PATH/native"
  for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.05
  done
  pactl set-default-sink plovex_null >/dev/null 2>&1 || true
fi

# Shared-memory keys and temporary files of the tests stay in our own folder.
export TMPDIR="$runtime"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

cd "$dir"
ctest --output-on-failure --timeout 600 -j2 "$@"
