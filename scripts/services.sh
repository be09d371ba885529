# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced: starts a private X server and a private PulseAudio server with a
# null sink, for running the program and its tests without a desktop.
#   nullsink          - the default output; what is played is captured from nullsink.monitor
#   loopmic           - the default input: a remapped source of that monitor, so
#                       what is played is what the recorder hears
# and a private D-Bus session bus (for the desktop media controls).
# Exports DISPLAY, XDG_RUNTIME_DIR, PULSE_SERVER and DBUS_SESSION_BUS_ADDRESS
# for the caller.

parlotype_services_dir=$(mktemp -d /tmp/parlotype-services.XXXXXX)

if [ -z "${DISPLAY:-}" ] || [ -n "${PARLOTYPE_OWN_DISPLAY:-}" ]; then
  for n in $(seq 90 120); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || { parlotype_display=":$n"; break; }
  done
  Xvfb "$parlotype_display" -screen 0 1280x1024x24 -nolisten tcp >"$parlotype_services_dir/xvfb.log" 2>&1 &
  parlotype_xvfb_pid=$!
  export DISPLAY="$parlotype_display"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${parlotype_display#:}" ] && break; sleep 0.1; done
fi

export XDG_RUNTIME_DIR="$parlotype_services_dir/runtime"
mkdir -p "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
pulseaudio -n --daemonize=yes --exit-idle-time=-1 --system=false \
  -L "module-native-protocol-unix" -L "module-null-sink sink_name=nullsink" \
  --log-target="file:$parlotype_services_dir/pulse.log" 2>/dev/null || true
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl load-module module-remap-source master=nullsink.monitor source_name=loopmic >/dev/null
pactl set-default-sink nullsink
pactl set-default-source loopmic
# An idle null sink renders ahead of time, which delays the first stream after
# a pause by up to 2 s; a silent stream kept running holds it in real time.
pacat --playback --raw --format=s16le --rate=44100 --channels=2 --device=nullsink \
  --client-name=parlotype-keepalive /dev/zero >/dev/null 2>&1 &
parlotype_keepalive_pid=$!

# A session bus of our own, so that tests neither see nor disturb a desktop's.
parlotype_dbus_info=$(dbus-daemon --session --fork --print-address=1 --print-pid=1 2>/dev/null || true)
if [ -n "$parlotype_dbus_info" ]; then
  export DBUS_SESSION_BUS_ADDRESS=$(echo "$parlotype_dbus_info" | sed -n 1p)
  parlotype_dbus_pid=$(echo "$parlotype_dbus_info" | sed -n 2p)
fi

parlotype_stop_services() {
  kill "$parlotype_keepalive_pid" 2>/dev/null || true
  [ -n "${parlotype_dbus_pid:-}" ] && kill "$parlotype_dbus_pid" 2>/dev/null || true
  pactl exit >/dev/null 2>&1 || true
  [ -n "${parlotype_xvfb_pid:-}" ] && kill "$parlotype_xvfb_pid" 2>/dev/null || true
}
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --disable-background-networking"
