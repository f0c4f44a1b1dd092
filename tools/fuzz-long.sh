#!/usr/bin/env bash
# Long fuzzing runs of the file readers (the test suite runs each fuzzer for
# only a few seconds).
#
#   tools/fuzz-long.sh [SECONDS] [NAME...]
#
# SECONDS  time per fuzzer (default 3600)
# NAME     fuzzers to run (default: all): sgireader objmodel keydb modulesdb
#          showscript wavfile ... (tests/fuzz/<Name>Fuzz.cpp)
# Environment:
#   RUNS=N       also stop a fuzzer after N executions (default 10000000)
#   JOBS=N       fuzzers run side by side (default 1; the machine has 2 cores)
#   BUILD_DIR=D  the clang build directory (default build-fuzz/ of this tree)
#
# Each fuzzer keeps a growing corpus in BUILD_DIR/long-corpus/<name>/
# (started from the seeds in tests/fuzz/corpus/<name>/) and writes crashing
# inputs to BUILD_DIR/artifacts/<name>/. Its log is BUILD_DIR/long-<name>.log;
# the summary line of each run gives the executions and the result. The exit
# status is 1 when any fuzzer found a failure.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-3600}"
shift || true
build="${BUILD_DIR:-$root/build-fuzz}"
runs="${RUNS:-10000000}"
jobs="${JOBS:-1}"

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTRATA_FUZZ=ON \
    -DSTRATA_TESTS=OFF -DSTRATA_BENCH=OFF >/dev/null || exit 1
fi
if [ $# -gt 0 ]; then
  names=("$@")
else
  names=()
  for src in "$root"/tests/fuzz/*Fuzz.cpp; do
    n="$(basename "$src" Fuzz.cpp)"
    # The show-script parser comes with the offline renderer.
    [ "$n" = ShowScript ] && [ ! -f "$root/show/ShowScript.h" ] && continue
    names+=("${n,,}")
  done
fi
targets=()
for n in "${names[@]}"; do targets+=("fuzz_$n"); done
cmake --build "$build" -j2 --target "${targets[@]}" >/dev/null || exit 1

export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:alloc_dealloc_mismatch=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export LSAN_OPTIONS="suppressions=$root/tools/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
export LIBGL_ALWAYS_SOFTWARE=1

run_one() {
  local n="$1" corpus="$build/long-corpus/$1" art="$build/artifacts/$1/" log="$build/long-$1.log"
  mkdir -p "$corpus" "$art"
  "$build/tests/fuzz/fuzz_$n" -max_total_time="$seconds" -runs="$runs" -close_fd_mask=2 -timeout=10 -rss_limit_mb=3072 \
    -print_final_stats=1 -artifact_prefix="$art" "$corpus" "$root/tests/fuzz/corpus/$n" >"$log" 2>&1
  local status=$?
  local done_line execs
  done_line="$(grep -E '^Done [0-9]+ runs' "$log" | tail -n 1)"
  execs="$(grep -E 'stat::number_of_executed_units' "$log" | awk '{print $2}' | tail -n 1)"
  if [ "$status" -eq 0 ]; then
    echo "$n: ok, ${execs:-?} executions (${done_line:-no summary}), corpus $(ls "$corpus" | wc -l) files"
  else
    echo "$n: FAILED (status $status), see $log and $art"
  fi
  return "$status"
}

failed=0
pids=()
for n in "${names[@]}"; do
  run_one "$n" &
  pids+=($!)
  if [ "${#pids[@]}" -ge "$jobs" ]; then
    wait "${pids[0]}" || failed=1
    pids=("${pids[@]:1}")
  fi
done
for p in "${pids[@]}"; do wait "$p" || failed=1; done
exit "$failed"
