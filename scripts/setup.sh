#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages Parlotype needs to build, run and test.
# Idempotent: safe to run again. Needs root (or sudo).
set -euo pipefail

packages=(
  # build
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-webengine-dev qt6-multimedia-dev libqt6opengl6-dev qt6-qpa-plugins
  qt6-image-formats-plugins libqt6svg6 libmpg123-dev libsoundtouch-dev
  # FLAC, Ogg Vorbis and Opus decoding; the EPUB's ZIP container
  libsndfile1-dev zlib1g-dev
  # Make Script: in-process speech synthesis and the real FFT
  libespeak-ng-dev libkissfft-dev
  # comparing a take with the model: pitch tracking
  libaubio-dev
  # tests, benchmarks and fuzzing
  libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev libgumbo-dev mpg123
  # exports checked by their readers (EPUB checker, a browser); FLAC and Opus tools for the decoding benchmark
  epubcheck chromium flac opus-tools
  # running headless: X server, sound server
  xvfb xauth pulseaudio pulseaudio-utils
  # installing and packaging: validating the desktop entry, metadata and manual
  # page, the package's dependencies, the screenshot (scripts/make_screenshot.sh)
  desktop-file-utils appstream man-db dpkg-dev x11-utils x11-apps netpbm
  # desktop media controls in tests: a private session bus and its client
  dbus playerctl
  # making the demo audio and test signals (flite: other voices for the Make Script tests and benchmark;
  # its library: its own word times and the F0 its voices speak with, for the benchmarks)
  espeak-ng lame sox libsox-fmt-mp3 fonts-dejavu-core flite flite1-dev
)

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
echo "setup: packages installed"
