#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: unit tests and end-to-end
# tests (the latter under Xvfb with Mesa's software renderer).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$here/tools/setup.sh" --test
export LIBGL_ALWAYS_SOFTWARE=1
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$here/build" -j"$(nproc)"
cd "$here/build"
ctest --output-on-failure -j2
