#!/usr/bin/env bash
# Frame benchmark: eleven live cells with the heaviest reactor mix, rendered
# offline at 640x480 under Mesa's software renderer; prints frames per second
# and the CPU milliseconds per frame of the cells' update and draw. Options
# after the frame count go to strata-render (--size 1280x960, --msaa 4).
#   bench/run-frame-benchmark.sh [frames [options]]   (default 600, after 60 warm-up)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${STRATA_BUILD_DIR:-$here/build}"
frames="${1:-600}"
shift || true
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target strata-render >/dev/null
export LIBGL_ALWAYS_SOFTWARE=1
"$build/strata-render" "$here/tests/golden/stage" --script "$here/bench/frame-benchmark.show" \
  --wav "$here/tests/golden/sound.wav" --frames $((frames + 60)) --warmup 60 --stats --quiet "$@" 2>/dev/null
