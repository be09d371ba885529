#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes the screenshot the AppStream metadata shows (desktop/screenshot.png):
# the real window of build/parlotype on the demo script, under a private Xvfb,
# grabbed with xwd. Build first (scripts/run.sh or cmake --build build).
#   bash scripts/make_screenshot.sh [BUILD_DIR] [OUTPUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
output=${2:-desktop/screenshot.png}
title="demo.htm - Parlotype"

export PARLOTYPE_OWN_DISPLAY=1
source scripts/services.sh
work=$(mktemp -d)
cleanup() {
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null || true
  parlotype_stop_services
  rm -rf "$work"
}
trap cleanup EXIT
# A private settings folder: the screenshot run leaves no recent file behind.
export XDG_CONFIG_HOME="$work" PARLOTYPE_AUDIO=sim
"$build/parlotype" "$build/scripts/demo/demo.htm" >"$work/log" 2>&1 &
pid=$!

for _ in $(seq 100); do xwininfo -name "$title" >/dev/null 2>&1 && break; sleep 0.2; done
xwininfo -name "$title" >/dev/null || { echo "make_screenshot: no window '$title'" >&2; cat "$work/log" >&2; exit 1; }
sleep 4  # the web engine draws the page after the window maps
xwd -silent -name "$title" | xwdtopnm 2>/dev/null | pnmtopng >"$output"
echo "make_screenshot: $output"
