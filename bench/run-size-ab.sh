#!/usr/bin/env bash
# The frame benchmark at 640x480 and at another size, in turns (three runs
# each, alternating, so both see the same machine load); prints each run's
# frames per second and whole-frame time, and the median ratio.
#   bench/run-size-ab.sh [size [frames]]     (default 1280x960, 300 frames)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
size="${1:-1280x960}" frames="${2:-300}"
declare -A whole
for run in 1 2 3; do
  for s in 640x480 "$size"; do
    out="$("$here/bench/run-frame-benchmark.sh" "$frames" --size "$s")"
    fps="$(awk '/^frames per second/ { print $4 }' <<<"$out")"
    ms="$(awk '/^whole frame/ { print $3 }' <<<"$out")"
    whole[$s]+="$ms "
    echo "run $run  $s  $fps frames/s  whole frame $ms ms"
  done
done
median() { tr ' ' '\n' <<<"$1" | grep . | sort -g | sed -n 2p; }
a="$(median "${whole[640x480]}")" b="$(median "${whole[$size]}")"
echo "median whole frame: 640x480 $a ms, $size $b ms, ratio $(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.2f", b / a }')"
