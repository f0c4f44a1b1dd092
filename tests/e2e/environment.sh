#!/usr/bin/env bash
# The table of environment variables (under the heading "Environment
# variables" in README.md or in one of doc/*.md) and `strata --help` name the
# same variables, one a row, and each row says what help says: the effect,
# the values and the default, once the Markdown (code marks, links to
# sections) is left out.
set -uo pipefail
STRATA="$1"; SOURCE="$2"; WORK="$3"
. "$SOURCE/tests/e2e/common.bash"
rm -rf "$WORK"; mkdir -p "$WORK"
cd "$WORK"
unset DISPLAY

"$STRATA" --help >help.txt 2>err.txt || fail "strata --help: exit status $?: $(cat err.txt)"
grep -E '^  [A-Z][A-Z_]* ' help.txt | sort >help-rows.txt
[ -s help-rows.txt ] || fail "strata --help lists no variables"

doc=""
for candidate in "$SOURCE/README.md" "$SOURCE"/doc/*.md; do
  if [ -f "$candidate" ] && grep -qE '^#+ Environment variables *$' "$candidate"; then doc="$candidate"; break; fi
done
[ -n "$doc" ] || fail "no heading \"Environment variables\" in README.md or doc/*.md"

# Each row of the table (past its heading and rule) as the line help prints.
awk '
  function plain(s,   link, text) {
    gsub(/`/, "", s)
    gsub(/ *\(\[[^]]*\]\([^)]*\)\)/, "", s)
    while (match(s, /\[[^]]*\]\([^)]*\)/)) {
      link = substr(s, RSTART, RLENGTH)
      text = substr(link, 2, index(link, "]") - 2)
      s = substr(s, 1, RSTART - 1) text substr(s, RSTART + RLENGTH)
    }
    gsub(/^ +| +$/, "", s)
    return s
  }
  /^#+ Environment variables *$/ { inside = 1; next }
  !inside { next }
  /^\|/ { rows++; if (rows > 2) { split($0, cell, "|"); printf "  %-24s%s [%s; default: %s]\n", plain(cell[2]), plain(cell[5]), plain(cell[3]), plain(cell[4]) }; next }
  rows > 0 || /^#/ { exit }
' "$doc" | sort >table-rows.txt
[ -s table-rows.txt ] || fail "$doc: no table under \"Environment variables\""

names() { awk '{ print $1 }' "$1" | sort; }
names table-rows.txt | uniq -d | grep . && fail "$doc names a variable twice"
only_help=$(comm -23 <(names help-rows.txt) <(names table-rows.txt) | tr '\n' ' ')
only_table=$(comm -13 <(names help-rows.txt) <(names table-rows.txt) | tr '\n' ' ')
[ -z "$only_help" ] || fail "in strata --help but not in the table of $doc: $only_help"
[ -z "$only_table" ] || fail "in the table of $doc but not in strata --help: $only_table"
diff -u help-rows.txt table-rows.txt >rows.diff || fail "rows of $doc that differ from strata --help (- help, + table):
$(grep '^[-+] ' rows.diff)"
echo "environment: ok ($(wc -l <help-rows.txt) variables)"
