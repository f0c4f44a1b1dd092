#!/usr/bin/env bash
# The manual pages keep up with the programs: every variable `strata --help`
# lists is an entry of strata.1, every option `strata-render --help` lists
# one of strata-render.1, and man and groff (all warnings on) render each
# page without a warning.
#   manpages.sh <strata> <strata-render> <doc dir>
set -uo pipefail
strata="$1"
render="$2"
doc="$3"
failures=0
fault() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The tags of a page's .TP entries, as plain text (\- as -, fonts dropped).
entries() { awk 'tag { print; tag = 0 } /^\.TP/ { tag = 1 }' "$1" | sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g'; }

variables=$("$strata" --help | sed -n '/^Environment/,$s/^  \([A-Z][A-Z0-9_]*\) .*/\1/p')
[ "$(wc -w <<<"$variables")" -ge 20 ] || fault "strata --help lists too few variables: $variables"
for v in $variables; do
  entries "$doc/strata.1" | grep -qx "\.B $v" || fault "strata.1 has no entry for $v"
done

options=$("$render" --help | sed -n 's/^  \(--[a-z-]*\).*/\1/p')
[ "$(wc -w <<<"$options")" -ge 14 ] || fault "strata-render --help lists too few options: $options"
for o in $options; do
  entries "$doc/strata-render.1" | grep -qE -- "^\.B[IR]? .*$o([^a-z-]|\$)" || fault "strata-render.1 has no entry for $o"
done

for page in "$doc"/*.1; do
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null
             LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$page" 2>&1)
  [ -z "$warnings" ] || fault "$(basename "$page"): $warnings"
done
[ "$failures" -eq 0 ] && echo "manpages: $(wc -w <<<"$variables") variables, $(wc -w <<<"$options") options, $(ls "$doc"/*.1 | wc -l) pages"
[ "$failures" -eq 0 ]
