#!/usr/bin/env bash
# Cost of each reactor alone (one raised cell, the golden sound playing), as
# measured by strata-render --stats under Mesa's software renderer: frames
# per second, the cell's update and draw, glFinish and the process CPU time,
# in milliseconds per frame.
#   bench/run-reactor-costs.sh [frames]     (default 200, after 30 warm-up)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${STRATA_BUILD_DIR:-$here/build}"
frames="${1:-200}"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target strata-render >/dev/null
export LIBGL_ALWAYS_SOFTWARE=1
show="$(mktemp)"
trap 'rm -f "$show"' EXIT
names=(Waver Tunnel Cloud "Waver 3D" Particles1 "Metaball Viewer" "Obj viewer" "Torus Tunnel" Flo
       "Ripple obj viewer" "Sound Scape" Wave)
printf '%-18s %8s %8s %8s %9s %9s\n' module fps update draw glFinish "CPU"
for index in 0 1 2 3 4 5 6 7 9 10 11; do
  { echo "0 key F1 560 240"; for ((i = 0; i < index; i++)); do echo "0 key Down"; done; } >"$show"
  "$build/strata-render" "$here/tests/golden/stage" --script "$show" --wav "$here/tests/golden/sound.wav" \
    --frames $((frames + 30)) --warmup 30 --stats --quiet 2>/dev/null |
    awk -v name="${names[$index]}" '
      /^frames per second/ { fps = $4 }
      /^update/ { update = $4 }
      /^draw/ { draw = $4 }
      /^glFinish/ { finish = $2 }
      /^process CPU/ { cpu = $3 }
      END { printf "%-18s %8s %8s %8s %9s %9s\n", name, fps, update, draw, finish, cpu }'
done
