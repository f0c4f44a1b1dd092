#!/usr/bin/env bash
# Renders one show twice and requires byte-identical PNG files (frames 0, 10,
# 20, 29); renders it again as raw frames and requires the stream to hold
# exactly the frames, bottom row first, equal to the PNG pictures, and no
# console line. A recording's sound goes by its blocks, two in a frame too.
#   repeatable.sh <strata-render> <strata-golden-compare> <work dir>
set -euo pipefail
render="$1"
compare="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
rm -rf "$3" && mkdir -p "$3" && cd "$3"
show=("$here/stage" --script "$here/repeatable.show" --frames 30 --wav "$here/sound.wav" --quiet)
for run in a b; do "$render" "${show[@]}" --png-every 10 --png-frames 29 --out "$run" 2>"$run.txt"; done
[ "$(cd a && echo frame-*.png)" = "frame-000000.png frame-000010.png frame-000020.png frame-000029.png" ] ||
  { echo "repeatable: pictures $(cd a && echo *), not frames 0, 10, 20, 29" >&2; exit 1; }
for picture in a/frame-*.png; do cmp "$picture" "b/${picture#a/}"; done

"$render" "${show[@]}" --raw >frames.rgba 2>raw.txt
size=$(stat -c %s frames.rgba)
[ "$size" = $((30 * 640 * 480 * 4)) ] ||
  { echo "repeatable: raw stream holds $size bytes, expected 30 frames of 640x480x4" >&2; exit 1; }
tail -c $((640 * 480 * 4)) frames.rgba >last.rgba
"$compare" a/frame-000029.png last.rgba --tolerance 0 --max-outliers 0
grep -q "Modules DataBase is built" raw.txt  # the console went to standard error

# Sound Scape on sound.wav moved on by one block a frame, then by two: the pictures differ.
for n in 1 2; do
  { echo "0 ctl 11 19 0"; echo "0 key F1 639 240"; for _ in {1..10}; do echo "0 key Down"; done
    for f in {0..19}; do for ((k = 0; k < n; k++)); do echo "$f sound"; done; done; } >"blocks-$n.show"
  "$render" "$here/stage" --script "blocks-$n.show" --frames 20 --png-frames 19 --wav "$here/sound.wav" \
    --out "blocks-$n" --quiet 2>/dev/null
done
if cmp -s blocks-1/frame-000019.png blocks-2/frame-000019.png; then
  echo "repeatable: two sound blocks in a frame moved the sound as one does" >&2
  exit 1
fi
echo "repeatable: 4 pictures identical, raw frames match, sound blocks counted"
