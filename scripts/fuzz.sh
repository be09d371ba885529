#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs every fuzz target of a fuzz build for a few seconds each, starting from
# the seed corpus in tests/fuzz/corpus/<target>. Fails on the first crash.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-20}
root=$(cd "$(dirname "$0")/.." && pwd)
found=0
for fuzzer in "$build"/fuzz/fuzz_*; do
  [ -x "$fuzzer" ] || continue
  found=1
  name=$(basename "$fuzzer")
  work=$(mktemp -d)
  seeds="$root/tests/fuzz/corpus/$name"
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/ 2>/dev/null || true
  echo "fuzz: $name for ${seconds}s"
  "$fuzzer" -max_total_time="$seconds" -print_final_stats=0 -artifact_prefix="$work/" "$work" 2>"$work/log" || {
    tail -40 "$work/log"; echo "fuzz: $name failed; crashing input kept in $work"; exit 1; }
  rm -rf "$work"
done
[ "$found" = 1 ] || echo "fuzz: no fuzz targets built"
