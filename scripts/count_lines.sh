#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Non-blank lines of C++ (.cpp, .h) in the program and in tests/, and the
# tests' share: kept at most a third of the program's core folders.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
    find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 cat | grep -cv '^[[:space:]]*$'
}

program=$(count app audio html platform view)
tests=$(count tests)
echo "program (app audio html platform view): $program"
echo "  and align mpris: $(count align mpris) more"
echo "tests: $tests"
awk -v t="$tests" -v p="$program" 'BEGIN { printf "tests/program: %.2f (at most 0.33)\n", t / p }'
