#!/usr/bin/env bash
# lintian accepts the Debian package: no error, no warning, and none of the
# hardening or spelling notes. Exit 77 (skipped) without lintian.
#   lintian.sh <build dir> <work dir>
set -uo pipefail
build="$1"
work="$2"
command -v lintian >/dev/null || { echo "lintian is not installed: skipped"; exit 77; }
rm -rf "$work" && mkdir -p "$work"

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { echo "FAIL: cpack failed: $(tail -20 "$work/cpack.log")"; exit 1; }
debs=("$work"/out/strata_*.deb)
[ -f "${debs[0]}" ] || { echo "FAIL: cpack wrote no strata_*.deb"; exit 1; }

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
