#!/usr/bin/env bash
# Sets up, builds and starts the instrument in the bundled stage/ directory.
# Arguments are passed on to strata (one argument: full screen; two: full
# screen and no cursor).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$here/tools/setup.sh"
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$here/build" -j"$(nproc)" --target strata
if [ -z "${DISPLAY:-}" ]; then
  echo "strata: no display to open (DISPLAY is not set): run ./run.sh from a desktop session, or under xvfb-run" >&2
  exit 1
fi
cd "$here/stage"
exec "$here/build/strata" "$@"
