#!/usr/bin/env bash
# Renders the golden scenes again and replaces their reference pictures in
# tests/golden/reference/. Use it only after a deliberate change of a
# picture, and look at every new picture before committing it.
#   tools/update-goldens.sh            every scene of tests/golden/goldens.txt
#   tools/update-goldens.sh waver ...  only these scenes
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${STRATA_BUILD_DIR:-$here/build}"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target strata-render strata-golden-compare >/dev/null

if [ $# -gt 0 ]; then
  names=("$@")
else
  mapfile -t names < <(awk '$1 !~ /^#/ && NF >= 3 { print $1 }' "$here/tests/golden/goldens.txt")
fi
for name in "${names[@]}"; do
  bash "$here/tests/golden/run-golden.sh" --update "$build/strata-render" \
    "$build/tests/golden/strata-golden-compare" "$build/golden-update/$name" "$name"
done
echo "Look at each updated picture before committing it (git status tests/golden/reference)."
