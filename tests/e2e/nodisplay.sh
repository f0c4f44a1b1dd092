#!/usr/bin/env bash
# Without a display: `strata --help` and `strata --version` answer and end
# with status 0; any other start says in one line that there is no display
# and ends with status 1; ./run.sh (its build already done) prints exactly
# that one line.
set -uo pipefail
STRATA="$1"; SOURCE="$2"; WORK="$3"
. "$SOURCE/tests/e2e/common.bash"
rm -rf "$WORK"; mkdir -p "$WORK"
cd "$WORK"
unset DISPLAY

for word in --help --version; do
  "$STRATA" "$word" >out.txt 2>err.txt
  status=$?
  [ "$status" -eq 0 ] || fail "strata $word: exit status $status"
  [ -s out.txt ] || fail "strata $word printed nothing"
  [ ! -s err.txt ] || fail "strata $word wrote to standard error: $(cat err.txt)"
done
grep -q "^Usage: strata" out.txt && fail "--version printed the help"
# Through a file: grep -q stops reading at the first match, and the program,
# whose standard output is line-buffered, would die of SIGPIPE in a pipe.
"$STRATA" --help >help.txt && grep -q "^Usage: strata" help.txt || fail "--help prints no usage line"

"$STRATA" --help x >out.txt 2>&1
status=$?
[ "$status" -eq 1 ] || fail "strata --help x: exit status $status (two arguments are the argument-count rule)"
[ "$(wc -l <out.txt)" -eq 1 ] && grep -q "no display" out.txt || fail "strata --help x: $(cat out.txt)"

STRATA_BUILD_DIR="$(dirname "$STRATA")" "$SOURCE/run.sh" >out.txt 2>&1
status=$?
[ "$status" -eq 1 ] || fail "run.sh without a display: exit status $status: $(tail -n 5 out.txt)"
[ "$(wc -l <out.txt)" -eq 1 ] || fail "run.sh without a display printed $(wc -l <out.txt) lines: $(head -n 5 out.txt)"
grep -q "no display" out.txt || fail "run.sh without a display: $(cat out.txt)"
echo "nodisplay: ok"
