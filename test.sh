#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: 1. the Release build's unit
# and end-to-end tests (under Xvfb with Mesa's software renderer) and a short
# soak of the offline renderer; 2. the unit tests and the hostile stage built
# with the address and undefined-behaviour sanitizers (build-asan/), where any
# report fails; 3. every fuzzer for a short bounded time (clang, build-fuzz/);
# 4. the counts of tools/test-ratio.sh (printed only). doc/reliability.md
# describes the passes and the long fuzzing and soak runs.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$here/tools/setup.sh" --test
export LIBGL_ALWAYS_SOFTWARE=1
started=$(date +%s)
jobs="$(nproc)"

echo "== Release build: unit and end-to-end tests"
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$here/build" -j"$jobs"
(cd "$here/build" && ctest --output-on-failure -j2)
if [ -x "$here/build/strata-render" ]; then
  echo "== Short soak of the offline renderer"
  SOAK_DIR="$here/build/soak-short" STEP_FRAMES=5 "$here/tools/soak.sh" 4000
fi

echo "== Sanitizer build: unit tests and the hostile stage"
cmake -S "$here" -B "$here/build-asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTRATA_SANITIZE=ON \
  -DSTRATA_BENCH=OFF >/dev/null
cmake --build "$here/build-asan" -j"$jobs" --target strata_tests strata
(
  # alloc_dealloc_mismatch=0: the GL driver's LLVM allocates buffers with
  # operator new and frees them with free, which would stop every run.
  export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:check_initialization_order=1:alloc_dealloc_mismatch=0"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
  export LSAN_OPTIONS="suppressions=$here/tools/lsan.supp:print_suppressions=0"
  cd "$here/build-asan/tests"
  ./strata_tests --gtest_brief=1
  python3 "$here/tests/e2e/scenarios.py" hostile "$here/build-asan/strata" "$here" "$here/build-asan/tests/e2e-hostile"
)

echo "== Fuzzers (clang)"
CC=clang CXX=clang++ cmake -S "$here" -B "$here/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTRATA_FUZZ=ON \
  -DSTRATA_TESTS=OFF -DSTRATA_BENCH=OFF >/dev/null
cmake --build "$here/build-fuzz" -j"$jobs" --target strata_fuzzers
(cd "$here/build-fuzz" && ctest --output-on-failure -L fuzz -j"$jobs")

echo "test.sh: all passes done in $(( $(date +%s) - started )) s"
echo "== Test lines against the rest (tools/test-ratio.sh)"
"$here/tools/test-ratio.sh" "$here" || true
