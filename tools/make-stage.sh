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
rm -rf "$out/imgs" "$out/imgs2" "$out/imgs3" "$out/mdls" "$out/Reactors" "$out/key.db" "$out/modules.db" "$out/demo.wav"
"$build/tools/strata-stagegen" "$out"
