#!/usr/bin/env bash
# Renders one show twice and requires byte-identical PNG files; renders it
# again as raw frames and requires the stream to hold exactly the frames,
# bottom row first, equal to the PNG pictures.
#   repeatable.sh <strata-render> <strata-golden-compare> <work dir>
set -euo pipefail
render="$1"
compare="$2"
work="$3"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
rm -rf "$work"
mkdir -p "$work/a" "$work/b"

frames=30
for run in a b; do
  "$render" "$here/stage" --script "$here/repeatable.show" --frames "$frames" --png-every 10 --png-frames 29 \
    --out "$work/$run" --wav "$here/sound.wav" --quiet 2>"$work/$run/console.txt"
done
count=0
for picture in "$work"/a/frame-*.png; do
  cmp "$picture" "$work/b/$(basename "$picture")"
  count=$((count + 1))
done
if [ "$count" != 4 ]; then
  echo "repeatable: expected 4 pictures (frames 0, 10, 20, 29), found $count" >&2
  exit 1
fi

"$render" "$here/stage" --script "$here/repeatable.show" --frames "$frames" --raw --wav "$here/sound.wav" --quiet \
  >"$work/frames.rgba" 2>"$work/raw-console.txt"
size=$(stat -c %s "$work/frames.rgba")
if [ "$size" != $((frames * 640 * 480 * 4)) ]; then
  echo "repeatable: raw stream holds $size bytes, expected $frames frames of 640x480x4" >&2
  exit 1
fi
tail -c $((640 * 480 * 4)) "$work/frames.rgba" >"$work/last.rgba"
"$compare" "$work/a/frame-000029.png" "$work/last.rgba" --tolerance 0 --max-outliers 0
# The console went to standard error, not into the frames.
grep -q "Modules DataBase is built" "$work/raw-console.txt"
echo "repeatable: $count pictures identical, raw frames match"
