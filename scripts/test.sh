#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up, builds and runs every test of Parlotype:
#   1. installs the Debian packages (scripts/setup.sh)
#   2. builds the unit tests with AddressSanitizer and UBSan and runs them
#   3. builds the fuzz targets with clang and runs each one briefly
#   4. builds the program, starts Xvfb and a private PulseAudio server
#   5. builds the Debian package, installs it, checks it and removes it again
#   6. runs the window test under the sanitizers, then every test (a real-sound
#      test that fails gets one more run, and the summary says so), and checks
#      the tests' share of the code
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
# Every test runs once, but the real-sound ones (label "sound"): a sound server
# on a busy machine can disturb those, so a failing one gets a second run, and
# the summary names every test that needed it.
status=0
# The window, its sessions and the media controls under the sanitizers too, on the
# real web engine (whose own allocations mismatch new and delete, and leak).
(cd ../build-asan && ASAN_OPTIONS=detect_leaks=0:new_delete_type_mismatch=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure --timeout 900 -R '^window_test$') | tee ctest.log || status=1
ctest --output-on-failure --timeout 600 -LE sound | tee -a ctest.log || status=1
ctest --output-on-failure --timeout 600 -L sound --repeat until-pass:2 | tee sound.log || status=1
cat sound.log >>ctest.log
retried=$(sed -n 's/^.*Test #[0-9]*: \([^ ]*\) .*\*\*\*.*$/\1/p' sound.log | sort -u | tr '\n' ' ')
echo "== summary"
(cd .. && bash scripts/count_lines.sh) || status=1
echo "sound tests that needed a second run: ${retried:-none}"
# CTest's two summaries as one line.
sed -n 's/^.*tests passed, \([0-9]*\) tests\? failed out of \([0-9]*\)$/\1 \2/p' ctest.log |
  awk '{ failed += $1; total += $2 } END { printf "ctest: %d passed, %d failed\n", total - failed, failed }'
exit $status
