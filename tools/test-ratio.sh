#!/usr/bin/env bash
# Prints the non-blank source lines under tests/ and elsewhere, and their
# ratio. Source: .cpp .h .c .sh .bash .py .js .html .css and CMakeLists.txt
# files that git tracks (data such as images, models, scripts of shows,
# sounds, fuzzing corpora and goldens is not counted). Usage:
#   tools/test-ratio.sh [REPOSITORY]
set -euo pipefail
root="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
cd "$root"
count() { xargs -r -d '\n' cat -- | grep -cv '^[[:space:]]*$' || true; }
sources=$(git ls-files | grep -E '(\.(cpp|h|c|sh|bash|py|js|html|css)|(^|/)CMakeLists\.txt)$' | grep -v '/corpus/' || true)
tests=$(grep '^tests/' <<<"$sources" | count)
others=$(grep -v '^tests/' <<<"$sources" | count)
awk -v t="$tests" -v o="$others" 'BEGIN {
    printf "tests/      %6d lines\nelsewhere   %6d lines\nratio       %5.1f %%\n", t, o, o ? 100 * t / o : 0 }'
