#!/usr/bin/env bash
# Regenerates the bundled working directory: builds strata-stagegen and lets
# it write key.db, modules.db, the image sets, the models and the help pages.
#
#   tools/make-stage.sh [output directory]     (default: stage/ of this tree)
#
# BUILD_DIR chooses the CMake build directory (default: build/ of this tree).
# The output is deterministic: regenerating the committed stage/ leaves
# `git status` clean.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/stage}"
build="${BUILD_DIR:-$root/build}"

cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j2 --target strata-stagegen >/dev/null

# Remove what the generator writes, so nothing stale survives a rename.
mkdir -p "$out"
rm -rf "$out/imgs" "$out/imgs2" "$out/imgs3" "$out/imgs4" "$out/mdls" "$out/Reactors" "$out/key.db" "$out/modules.db" \
  "$out/demo.wav"
"$build/tools/strata-stagegen" "$out"
# A clip for the set of one's own material: four seconds of drifting colour
# gradients, 320 x 180 H.264 (letterboxed into the set's 512 x 512).
ffmpeg -v error -y -f lavfi -i "gradients=s=320x180:r=25:d=4:speed=0.08:seed=7" -c:v libx264 -threads 1 \
  -preset veryslow -crf 28 -g 25 -pix_fmt yuv420p -movflags +faststart -map_metadata -1 -fflags +bitexact \
  "$out/imgs4/c_clip.mp4"
