#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up, builds and starts Parlotype on the bundled demo script:
#   1. installs the Debian packages (scripts/setup.sh)
#   2. builds the program and its script index into build/
#   3. starts build/parlotype on build/scripts/demo/demo.htm
# Needs a desktop session (an X or Wayland display) and a sound server
# (PulseAudio or PipeWire). Without a sound server, PARLOTYPE_AUDIO=sim plays
# on a simulated device instead.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target parlotype parlotype_index

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no display; start it from a desktop session (or under xvfb-run)" >&2
  exit 1
fi
# The web engine's sandbox refuses to run as root.
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
exec build/parlotype build/scripts/demo/demo.htm "$@"
