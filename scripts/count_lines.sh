#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Non-blank lines of C++ (.cpp, .h) in the program's folders and in tests/,
# and the tests' share of the program: the suite is kept at most a third.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
    find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 cat | grep -cv '^[[:space:]]*$'
}

program=$(count app audio html platform view align mpris)
tests=$(count tests)
echo "program (app audio html platform view align mpris): $program"
echo "tests: $tests"
awk -v t="$tests" -v p="$program" 'BEGIN { printf "tests/program: %.2f\n", t / p }'
