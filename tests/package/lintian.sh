#!/usr/bin/env bash
# lintian accepts the Debian package that install-deb.sh built: no error, no
# warning, and none of the hardening or spelling notes. Exit 77 (skipped)
# without lintian.
#   lintian.sh <install-deb.sh's work dir> <work dir>
set -uo pipefail
debs=("$1"/out/strata_*.deb)
work="$2"
command -v lintian >/dev/null || { echo "lintian is not installed: skipped"; exit 77; }
[ -f "${debs[0]}" ] || { echo "FAIL: no strata_*.deb in $1/out"; exit 1; }
rm -rf "$work" && mkdir -p "$work"

lintian -I --tag-display-limit 0 "${debs[0]}" >"$work/lintian.txt" 2>&1
status=$?
bad=$(grep -E '^[EW]: |^I: [^ ]+ (hardening-|spelling-error-)' "$work/lintian.txt")
if [ -n "$bad" ] || [ "$status" -gt 1 ]; then
  echo "FAIL: lintian (exit $status):"
  cat "$work/lintian.txt"
  exit 1
fi
grep '^I: ' "$work/lintian.txt"
echo "lintian: $(basename "${debs[0]}") has no error, warning, hardening or spelling note"
