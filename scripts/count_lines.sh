#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Non-blank lines of C++ (.cpp, .h) in the program (every top-level folder but
# tests/ and bench/) and in tests/, and the tests' share. Fails when the tests
# are more than a third of the program.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
    find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 cat | grep -cv '^[[:space:]]*$'
}

folders=$(for d in */; do d=${d%/}; case $d in tests|bench|build*) continue;; esac
            [ -n "$(find "$d" -type f \( -name '*.cpp' -o -name '*.h' \) -print -quit)" ] && echo "$d"; done | tr '\n' ' ')
program=$(count $folders)
tests=$(count tests)
echo "program ($folders): $program non-blank lines"
echo "tests: $tests non-blank lines"
awk -v t="$tests" -v p="$program" 'BEGIN {
    printf "tests/program: %d/%d = %.4f (at most 1/3 = 0.3333)\n", t, p, t / p
    exit (3 * t > p) ? 1 : 0 }'
