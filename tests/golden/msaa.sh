#!/usr/bin/env bash
# The Obj viewer's scene drawn with --msaa 4 and without: the console names
# the samples it got, and where the driver offers them the multisampled
# pictures differ from the others only along the edges; where it does not,
# they are the same.
#   msaa.sh <strata-render> <strata-golden-compare> <work dir>
set -euo pipefail
render="$1" compare="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
rm -rf "$3" && mkdir -p "$3" && cd "$3"
{ echo "0 ctl 11 19 0"; echo "0 key F1 639 240"; for _ in {1..6}; do echo "0 key Down"; done
  cat "$here/scenes/objviewer.show"; } >show
for samples in 0 4; do
  msaa=() && [ "$samples" = 0 ] || msaa=(--msaa "$samples")
  "$render" "$here/stage" --script show --frames 46 --png-frames 10,45 --out "out-$samples" --quiet "${msaa[@]}" \
    2>"console-$samples.txt"
done
if grep -q "^strata-render: MSAA: 4 samples (4 asked for)$" console-4.txt; then
  for f in 10 45; do "$compare" "out-0/frame-0000$f.png" "out-4/frame-0000$f.png" --edges; done
elif grep -q "^strata-render: MSAA: 4 samples not offered" console-4.txt; then
  for f in 10 45; do cmp "out-0/frame-0000$f.png" "out-4/frame-0000$f.png"; done
else
  echo "msaa: no line naming the samples: $(grep MSAA console-4.txt || true)" >&2; exit 1
fi
! grep -q MSAA console-0.txt
