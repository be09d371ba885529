#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# CPU load of the program's own process while it idles in its window:
#   playing  - a WAV file plays through the sound server (goal: at most 3% of one core)
#   stopped  - a script page is shown and nothing plays (goal: about 0%)
# Each case starts build/parlotype on a page under Xvfb with a private
# PulseAudio server (scripts/services.sh), waits until it has settled, and
# reads the process's utime + stime from /proc/<pid>/stat over the window.
# The playing page follows an audio link by script once loaded, as a click
# would. The web engine's helper processes are reported apart.
#
#   bash bench/window_cpu.sh [build-dir] [seconds]      (defaults: build 20)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
seconds=${2:-20}
program="$build/parlotype"
[ -x "$program" ] || { echo "window_cpu: $program not built" >&2; exit 1; }

work=$(mktemp -d /tmp/parlotype-window-cpu.XXXXXX)
# Long enough to play on through settling and measuring.
sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth $((seconds + 20)) sine 440 vol 0.2
cat >"$work/play.htm" <<'EOF'
<html><body><p>Playing <a href="tone.wav">tone.wav</a>
<script>addEventListener('load', function() { location.href = 'tone.wav'; });</script>
</body></html>
EOF
echo '<html><body><p>Nothing plays here.</p></body></html>' >"$work/idle.htm"

source scripts/services.sh
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  parlotype_stop_services
  rm -rf "$work"
}
trap cleanup EXIT

ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
helper_ticks() {
  local sum=0 child
  for child in $(pgrep -P "$1" || true); do sum=$((sum + $(ticks "$child") + $(helper_ticks "$child"))); done
  echo "$sum"
}
# True while process $1 has a playback stream on the sound server.
streaming() { pactl list sink-inputs | grep -q "application.process.id = \"$1\""; }

hz=$(getconf CLK_TCK)
measure() {  # name page expect-stream
  local name=$1 page=$2 expect=$3
  PARLOTYPE_AUDIO= "$program" "$work/$page" >"$work/$name.log" 2>&1 &
  pid=$!
  sleep 8  # start-up, page load, and the engine's own start-up work
  if [ "$expect" = yes ] && ! streaming "$pid"; then
    echo "window_cpu: $name: no playback stream" >&2; exit 1
  fi
  local t0 h0 t1 h1 start end
  t0=$(ticks "$pid"); h0=$(helper_ticks "$pid"); start=$(date +%s.%N)
  sleep "$seconds"
  t1=$(ticks "$pid"); h1=$(helper_ticks "$pid"); end=$(date +%s.%N)
  if [ "$expect" = yes ] && ! streaming "$pid"; then
    echo "window_cpu: $name: playback ended during the measurement" >&2; exit 1
  fi
  awk -v n="$name" -v a="$t0" -v b="$t1" -v c="$h0" -v d="$h1" -v s="$start" -v e="$end" -v hz="$hz" \
    'BEGIN { w = e - s; printf "%-8s parlotype %5.2f%% of one core  (web engine helpers %5.2f%%)  over %.1f s\n",
             n, 100 * (b - a) / hz / w, 100 * (d - c) / hz / w, w }'
  kill "$pid"; wait "$pid" 2>/dev/null || true; pid=""
}

measure playing play.htm yes
measure stopped idle.htm no
