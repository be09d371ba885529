#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package round trip: builds the package with cpack from BUILD_DIR,
# installs it with apt-get, checks the installed program (its version, --play
# of the installed demo on the simulated device, the desktop entry opening a
# window on the demo script) and removes it again. Needs root (or sudo) and
# an X display (source scripts/services.sh).
#   bash scripts/package_round_trip.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
fail() { echo "package: $*" >&2; exit 1; }

rm -f "$build"/parlotype_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/parlotype_*.deb)
echo "package: $(basename "$deb"), depends: $(dpkg-deb -f "$deb" Depends)"
$sudo apt-get install -y -qq "$deb" >/dev/null 2>&1 || fail "apt-get install $deb failed"
work=$(mktemp -d)
cleanup() {
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null || true
  $sudo apt-get remove -y -qq parlotype >/dev/null 2>&1 || echo "package: apt-get remove failed" >&2
  rm -rf "$work"
}
trap cleanup EXIT

# 1. The version the package was built with.
version=$(parlotype --version)
[ "$version" = "Parlotype $(dpkg-deb -f "$deb" Version)" ] || fail "--version printed '$version'"

# 2. The installed demo plays to its end time.
last=$(PARLOTYPE_AUDIO=sim parlotype --play /usr/share/parlotype/demo/demo.wav#0#1 | tail -n 1) ||
  fail "--play of the installed demo failed"
[ "$last" = " 0:01.0" ] || fail "--play stopped at '$last'"

# 3. The desktop entry is valid, its icon installed, and its Exec line opens a script.
entry=/usr/share/applications/parlotype.desktop
# A validator that is missing or exits non-zero fails the check; so does any
# desktop-file-validate line that is not a hint.
validate() {
  command -v "$1" >/dev/null || fail "$1 is not installed"
  out=$("$@" 2>&1) || fail "$* failed:"$'\n'"$out"
}
validate desktop-file-validate "$entry"
! grep -v '^[^:]*: hint:' <<<"$out" | grep -q . || fail "desktop-file-validate warned:"$'\n'"$out"
validate appstreamcli validate --no-net /usr/share/metainfo/org.phonicledger.parlotype.metainfo.xml
icon=$(sed -n 's/^Icon=//p' "$entry")
[ -f "/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no icon '$icon'"
exec_line=$(sed -n 's/^Exec=//p' "$entry")
script=/usr/share/parlotype/demo/demo.htm
XDG_CONFIG_HOME="$work" PARLOTYPE_AUDIO=sim ${exec_line/\%u/$script} >"$work/log" 2>&1 &
pid=$!
for _ in $(seq 100); do xwininfo -name "demo.htm - Parlotype" >/dev/null 2>&1 && break; sleep 0.2; done
xwininfo -name "demo.htm - Parlotype" >/dev/null 2>&1 || { cat "$work/log" >&2; fail "'$exec_line' opened no window"; }
echo "package: installed and checked; removing it"
