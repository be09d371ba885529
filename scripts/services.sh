# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced: starts a private X server and a private PulseAudio server with a
# null sink, for running the program and its tests without a desktop.
#   nullsink          - the default output; what is played is captured from nullsink.monitor
#   loopmic           - the default input: a remapped source of that monitor, so
#                       what is played is what the recorder hears
# and a private D-Bus session bus (for the desktop media controls).
# Exports DISPLAY, XDG_RUNTIME_DIR, PULSE_SERVER and DBUS_SESSION_BUS_ADDRESS
# for the caller. A service that does not start is an error (status 1, with
# its log): tests must never fall back on a desktop's own servers.

parlotype_services_dir=$(mktemp -d /tmp/parlotype-services.XXXXXX)

parlotype_services_fail() {
  echo "services: $1 did not start" >&2
  [ -f "$parlotype_services_dir/$2" ] && tail -20 "$parlotype_services_dir/$2" >&2
  parlotype_stop_services
  return 1
}

parlotype_stop_services() {
  [ -n "${parlotype_keepalive_pid:-}" ] && kill "$parlotype_keepalive_pid" 2>/dev/null
  [ -n "${parlotype_dbus_pid:-}" ] && kill "$parlotype_dbus_pid" 2>/dev/null
  [ -n "${PULSE_SERVER:-}" ] && pactl exit >/dev/null 2>&1
  [ -n "${parlotype_xvfb_pid:-}" ] && kill "$parlotype_xvfb_pid" 2>/dev/null
  return 0
}

parlotype_start_services() {
  if [ -z "${DISPLAY:-}" ] || [ -n "${PARLOTYPE_OWN_DISPLAY:-}" ]; then
    local n display=""
    for n in $(seq 90 120); do
      [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || { display=":$n"; break; }
    done
    [ -n "$display" ] || { parlotype_services_fail "Xvfb (no free display)" none; return 1; }
    Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$parlotype_services_dir/xvfb.log" 2>&1 &
    parlotype_xvfb_pid=$!
    export DISPLAY="$display"
    for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
    xdpyinfo >/dev/null 2>&1 || { parlotype_services_fail "Xvfb on $display" xvfb.log; return 1; }
  fi

  export XDG_RUNTIME_DIR="$parlotype_services_dir/runtime"
  mkdir -p "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
  export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
  pulseaudio -n --daemonize=yes --exit-idle-time=-1 --system=false \
    -L "module-native-protocol-unix" -L "module-null-sink sink_name=nullsink" \
    --log-target="file:$parlotype_services_dir/pulse.log" ||
    { parlotype_services_fail "PulseAudio" pulse.log; return 1; }
  for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl load-module module-remap-source master=nullsink.monitor source_name=loopmic >/dev/null &&
    pactl set-default-sink nullsink && pactl set-default-source loopmic ||
    { parlotype_services_fail "PulseAudio's null sink and loop-back source" pulse.log; return 1; }
  # An idle null sink renders ahead of time, which delays the first stream after
  # a pause by up to 2 s; a silent stream kept running holds it in real time.
  pacat --playback --raw --format=s16le --rate=44100 --channels=2 --device=nullsink \
    --client-name=parlotype-keepalive /dev/zero >/dev/null 2>&1 &
  parlotype_keepalive_pid=$!

  # A session bus of our own, so that tests neither see nor disturb a desktop's.
  local info
  info=$(dbus-daemon --session --fork --print-address=1 --print-pid=1) ||
    { parlotype_services_fail "the D-Bus session bus" none; return 1; }
  export DBUS_SESSION_BUS_ADDRESS=$(echo "$info" | sed -n 1p)
  parlotype_dbus_pid=$(echo "$info" | sed -n 2p)
  [ -n "$DBUS_SESSION_BUS_ADDRESS" ] && [ -n "$parlotype_dbus_pid" ] ||
    { parlotype_services_fail "the D-Bus session bus" none; return 1; }
}

export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --disable-background-networking"
parlotype_start_services
