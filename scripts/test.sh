#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up, builds and runs every test of Parlotype:
#   1. installs the Debian packages (scripts/setup.sh)
#   2. builds the unit tests with AddressSanitizer and UBSan and runs them
#   3. builds the fuzz targets with clang and runs each one briefly
#   4. builds the program, starts Xvfb and a private PulseAudio server
#   5. builds the Debian package, installs it, checks it and removes it again
#   6. runs every test
# The last line is CTest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/setup.sh

echo "== sanitizer build (ASan + UBSan), unit tests"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPARLOTYPE_SANITIZE=ON -DPARLOTYPE_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  PARLOTYPE_AUDIO=sim ctest -L unit --output-on-failure -j "$jobs")

echo "== fuzz targets (clang, libFuzzer)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPARLOTYPE_FUZZ=ON -DPARLOTYPE_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$jobs"
bash scripts/fuzz.sh build-fuzz "${PARLOTYPE_FUZZ_SECONDS:-20}"

echo "== program build, all tests (Xvfb, PulseAudio null sink)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
source scripts/services.sh
trap parlotype_stop_services EXIT
echo "== Debian package: build, install, check, remove"
bash scripts/package_round_trip.sh build
cd build
# Real-device timing tests can be disturbed by load; a failing test gets one more run.
ctest --output-on-failure --timeout 600 --repeat until-pass:2
