#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs every fuzz target of a fuzz build for a few seconds each, starting from
# the seed corpus in tests/fuzz/corpus/<target>. Every target with a source in
# tests/fuzz must have been built. A crash, a sanitizer report or a missing
# target fails the run; the failing target's log and inputs are kept.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-20}
root=$(cd "$(dirname "$0")/.." && pwd)
status=0
# Known leaks of third-party libraries on hostile input (see the file).
export LSAN_OPTIONS="suppressions=$root/tests/fuzz/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
for source in "$root"/tests/fuzz/fuzz_*.cpp; do
  name=$(basename "$source" .cpp)
  fuzzer="$build/fuzz/$name"
  if [ ! -x "$fuzzer" ]; then
    echo "fuzz: $name was not built ($fuzzer)"; status=1; continue
  fi
  work=$(mktemp -d "/tmp/parlotype-fuzz-$name.XXXXXX")
  seeds="$root/tests/fuzz/corpus/$name"
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/
  echo "fuzz: $name for ${seconds}s"
  if "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/" "$work" 2>"$work/log" &&
     ! grep -qE 'runtime error:|ERROR: (Address|Undefined|Leak)Sanitizer' "$work/log"; then
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "$work/log" | tr '\n' ' ' | sed 's/^/fuzz: /;s/ $/\n/'
    rm -rf "$work"
  else
    tail -40 "$work/log"
    echo "fuzz: $name failed; its log and inputs are kept in $work"
    status=1
  fi
done
exit $status
