#!/usr/bin/env bash
# strata-render's command line: help, bad arguments, bad script lines, a
# missing stage, Esc in a script and the --stats figures.
#   cli.sh <strata-render> <work dir>
set -uo pipefail
render="$1"
work="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
rm -rf "$work"
mkdir -p "$work"
failures=0
fail() {
  echo "cli: $*" >&2
  failures=$((failures + 1))
}

"$render" --help >"$work/help.txt" 2>&1 || fail "--help exits with status $?"
grep -q "Usage: strata-render DIRECTORY" "$work/help.txt" || fail "--help prints no usage"

"$render" "$here/stage" --frames x >/dev/null 2>"$work/err.txt"
[ $? = 2 ] || fail "a bad --frames value does not give status 2"
grep -q "^strata-render: --frames needs a whole number 1..100000000, found 'x'" "$work/err.txt" ||
  fail "a bad --frames value gives: $(cat "$work/err.txt")"

printf '0 key F1 639 240\n3 ctl 0 7 200\n' >"$work/bad.show"
"$render" "$here/stage" --script "$work/bad.show" >/dev/null 2>"$work/err.txt"
[ $? = 1 ] || fail "a bad script line does not give status 1"
grep -q "^strata-render: $work/bad.show:2: expected a value 0..127, found '200'" "$work/err.txt" ||
  fail "a bad script line gives: $(cat "$work/err.txt")"

"$render" "$work/nowhere" >/dev/null 2>"$work/err.txt"
[ $? = 1 ] || fail "a missing directory does not give status 1"
grep -q "no such directory" "$work/err.txt" || fail "a missing directory gives: $(cat "$work/err.txt")"

mkdir -p "$work/empty"
"$render" "$work/empty" >/dev/null 2>"$work/err.txt"
grep -q "no modules.db here" "$work/err.txt" || fail "a directory without modules.db gives: $(cat "$work/err.txt")"

printf 'not a wave file\n' >"$work/noise.wav"
"$render" "$here/stage" --wav "$work/noise.wav" >/dev/null 2>"$work/err.txt"
[ $? = 1 ] || fail "a wave file that cannot be played does not give status 1"
grep -q "noise.wav: cannot be played as the sound input" "$work/err.txt" ||
  fail "a bad wave file gives: $(cat "$work/err.txt")"

# Esc before frame 5 ends the render there: 5 frames, status 0.
printf '0 key F1 639 240\n5 key Esc\n' >"$work/esc.show"
"$render" "$here/stage" --script "$work/esc.show" --frames 50 --raw >"$work/esc.rgba" 2>"$work/err.txt" ||
  fail "Esc in a script does not end with status 0"
[ "$(stat -c %s "$work/esc.rgba")" = $((5 * 640 * 480 * 4)) ] || fail "Esc before frame 5 does not leave 5 frames"
grep -q "5 frames rendered.*Esc" "$work/err.txt" || fail "Esc is not reported: $(cat "$work/err.txt")"

"$render" "$here/stage" --script "$work/esc.show" --frames 4 --stats --quiet >"$work/stats.txt" 2>/dev/null ||
  fail "--stats fails"
for figure in "frames per second" "update, all cells" "draw, all cells" "whole frame"; do
  grep -q "^$figure" "$work/stats.txt" || fail "--stats misses '$figure': $(cat "$work/stats.txt")"
done

[ "$failures" = 0 ] && echo "cli: all checks passed"
[ "$failures" = 0 ]
