# Sourced by scripts/test.sh and scripts/bench.sh: starts what the programs under test need,
# each only when none is reachable already. Every process started is added to the array
# `started` (the caller kills them on exit); `runtime` must name a private folder (mode 700).
# A service that does not come up is reported with its log, and the function returns 1.

# An X server on a free display of our own unless one is reachable already.
start_display() {
  local current=${DISPLAY:-}
  current=${current#*:}
  current=${current%%.*}
  if [ -n "$current" ] && [ -S "/tmp/.X11-unix/X$current" ]; then
    return
  fi
  local display=99
  while [ -e "/tmp/.X${display}-lock" ] || [ -S "/tmp/.X11-unix/X${display}" ]; do
    display=$((display + 1))
  done
  Xvfb ":$display" -screen 0 1920x1080x24 -nolisten tcp >"$runtime/xvfb.log" 2>&1 &
  local pid=$!
  started+=("$pid")
  for _ in $(seq 200); do
    [ -S "/tmp/.X11-unix/X${display}" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  if [ ! -S "/tmp/.X11-unix/X${display}" ]; then
    cat "$runtime/xvfb.log" >&2
    echo "services: Xvfb did not come up on display :$display (is the xvfb package installed?)" >&2
    return 1
  fi
  export DISPLAY=":$display"
}

# PulseAudio with a null sink in the engine's own format (48 kHz stereo float), in its own
# runtime folder, unless a server answers already. Without rewinds: a rewinding null sink
# stops consuming for most of a second whenever a stream starts.
start_sound() {
  if pactl info >/dev/null 2>&1; then
    return
  fi
  export XDG_RUNTIME_DIR="$runtime"
  export PULSE_RUNTIME_PATH="$runtime/pulse"
  mkdir -p "$PULSE_RUNTIME_PATH"
  pulseaudio --daemonize=no --exit-idle-time=-1 --disallow-exit -n \
    --load="module-native-protocol-unix socket=$PULSE_RUNTIME_PATH/native auth-anonymous=1" \
    --load="module-null-sink sink_name=plovex_null rate=48000 channels=2 format=float32le norewinds=1" \
    >"$runtime/pulse.log" 2>&1 &
  local pid=$!
  started+=("$pid")
  export PULSE_SERVER="unix:$PULSE_RUNTIME_PATH/native"
  for _ in $(seq 200); do
    pactl info >/dev/null 2>&1 && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  if ! pactl info >/dev/null 2>&1; then
    cat "$runtime/pulse.log" >&2
    echo "services: PulseAudio did not come up at $PULSE_SERVER (are pulseaudio and pulseaudio-utils installed?)" >&2
    return 1
  fi
  pactl set-default-sink plovex_null >/dev/null 2>&1 || true
}

# Without a session bus, a library that asks for one (Qt's accessibility bridge does as soon
# as a widget changes) makes libdbus launch one by forking, which can deadlock a process that
# runs the address sanitizer. An address that leads nowhere fails at once instead, as the
# program itself arranges at start-up.
no_bus_autolaunch() {
  if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && [ ! -S "${XDG_RUNTIME_DIR:-/nonexistent}/bus" ]; then
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/no-session-bus"
  fi
}
