#!/usr/bin/env bash
# Sets up, builds and starts the instrument in the bundled stage/ directory.
# Arguments are passed on to strata (one argument: full screen; two: full
# screen and no cursor). The build is quiet: its output is shown only when it
# fails. STRATA_BUILD_DIR names another build directory (default build/).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="${STRATA_BUILD_DIR:-$here/build}"
"$here/tools/setup.sh"
mkdir -p "$build"
log="$build/run-build.log"
if ! { cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release &&
       cmake --build "$build" -j"$(nproc)" --target strata; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "run.sh: the build failed (its output is above and in $log)" >&2
  exit 1
fi
if [ -z "${DISPLAY:-}" ]; then
  echo "strata: no display to open (DISPLAY is not set): run ./run.sh from a desktop session, or under xvfb-run" >&2
  exit 1
fi
cd "$here/stage"
exec "$build/strata" "$@"
