#!/usr/bin/env bash
# Prints the non-blank lines of our git-tracked C++, JavaScript, Python and shell sources
# (without node_modules/, fuzz corpus/ and regressions/, docs/ and data/), those of the
# tests (tests/, fuzz/, soak/) among them, and their share, which should be at most a third.
set -euo pipefail
cd "$(dirname "$0")/.."
lines_of() { xargs -r cat | grep -c -v -E '^\s*$' || true; }
files=$(git ls-files | grep -E '\.(cpp|cc|h|hpp|js|mjs|py|sh)$' | grep -v -E '(^|/)(node_modules|corpus|regressions)/' |
    grep -v -E '^(docs|data)/' || true)
all=$(printf '%s\n' "$files" | lines_of)
tests=$(printf '%s\n' "$files" | grep -E '^(tests?|fuzz|soak)/' | lines_of)
echo "non-blank source lines: $all in all, of which tests/fuzz/soak $tests = $((100 * tests / (all > 0 ? all : 1)))% (at most a third)"
