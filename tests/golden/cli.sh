#!/usr/bin/env bash
# strata-render's command line: help, bad arguments, bad script lines, a
# missing stage, a bad wave file, Esc in a script, the --stats figures and
# other sizes.
#   cli.sh <strata-render> <work dir>
set -uo pipefail
render="$1"
stage="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/stage"
rm -rf "$2" && mkdir -p "$2/empty" && cd "$2" || exit 1
printf '0 key F1 639 240\n3 ctl 0 7 200\n' >bad.show
printf '0 key F1 639 240\n5 key Esc\n' >esc.show
printf 'not a wave file\n' >noise.wav
failures=0
fail() { echo "cli: $*" >&2; failures=$((failures + 1)); }

# exit status | out or err | what one of its lines must match (grep -E) | arguments
cases=(
  "0|out|^Usage: strata-render DIRECTORY|--help"
  "2|err|^strata-render: --frames needs a whole number 1\.\.100000000, found 'x'|$stage --frames x"
  "1|err|^strata-render: bad.show:2: expected a value 0\.\.127, found '200'|$stage --script bad.show"
  "1|err|nowhere: no such directory|nowhere"
  "1|err|empty: no modules.db here|empty"
  "1|err|noise.wav: cannot be played as the sound input|$stage --wav noise.wav"
  "0|out|^frames timed +2 \(of 2, 0 warm-up\), 320x180,|$stage --frames 2 --size 320x180 --stats --quiet"
  "2|err|^strata-render: --size needs WxH from 160x120 to 7680x4320, found '640x100'|$stage --size 640x100"
  "2|err|^strata-render: --msaa needs 2, 4, 8 or 16 samples, found '3'|$stage --msaa 3"
  # Esc before frame 5 ends the render there; the figures leave out the warm-up.
  "0|err|^strata-render: 5 frames rendered .*\(Esc in the script ended the show\)|$stage --script esc.show --frames 9"
  "0|out|^frames timed +3 \(of 4, 1 warm-up\)|$stage --script esc.show --frames 4 --warmup 1 --stats --quiet"
)
for c in "${cases[@]}"; do
  IFS='|' read -r want stream pattern args <<<"$c"
  # shellcheck disable=SC2086 # the arguments are words
  "$render" $args >out 2>err
  status=$?
  [ "$status" = "$want" ] && grep -qE -- "$pattern" "$stream" ||
    fail "strata-render $args: status $status: $(cat out err)"
done
for figure in "frames per second" "update, all cells" "draw, all cells" "whole frame"; do
  grep -q "^$figure" out || fail "--stats misses '$figure': $(cat out)"
done
"$render" "$stage" --script esc.show --frames 50 --raw >esc.rgba 2>/dev/null || fail "--raw: status $?"
[ "$(stat -c %s esc.rgba)" = $((5 * 640 * 480 * 4)) ] || fail "Esc before frame 5 does not leave 5 raw frames"
"$render" "$stage" --script esc.show --frames 50 --raw --size 322x180 >sized.rgba 2>/dev/null || fail "--raw --size: status $?"
[ "$(stat -c %s sized.rgba)" = $((5 * 322 * 180 * 4)) ] || fail "--raw --size 322x180 does not give 5 frames of that size"

[ "$failures" = 0 ] && echo "cli: all checks passed"
[ "$failures" = 0 ]
