#!/usr/bin/env bash
# What a module change costs, module by module: the CPU time of the frame in
# which a cell builds the reactor (and draws its first frame) against the
# reactor's steady frame, with Mesa rasterising on the benchmark's thread.
#   bench/run-module-builds.sh [BENCH] [BASE_BENCH]
#   bench/run-module-builds.sh --first [BENCH] [TURNS]
# BENCH defaults to build/bench/strata_bench. With BASE_BENCH (another build's
# strata_bench, e.g. from a git worktree of main) both are run in turns and
# shown side by side. --first measures the first change to each module in a
# fresh process (TURNS processes each, default 3, medians), without and with
# the start-up warm-up, against a later change and the steady frame.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
first=0
if [ "${1:-}" = "--first" ]; then first=1; shift; fi
bench="${1:-$here/build/bench/strata_bench}"
base="${2:-}"
export LIBGL_ALWAYS_SOFTWARE=1 LP_NUM_THREADS=0
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
run() {
  "$1" --benchmark_filter='BM_Module(Build|Steady)Frame' --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true --benchmark_format=json >"$2" 2>/dev/null
}
if [ "$first" = 1 ]; then
  turns="${base:-3}"
  "$bench" --benchmark_filter='BM_ModuleSteadyFrame' --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true --benchmark_format=json >"$out/steady.json" 2>/dev/null
  for turn in $(seq "$turns"); do
    for index in $(seq 0 11); do
      for warm in 0 1; do
        "$bench" --benchmark_filter="^BM_ModuleFirstBuild/$index/$warm/" --benchmark_format=json \
          >"$out/first-$turn-$index-$warm.json" 2>/dev/null
      done
    done
  done
fi
[ "$first" = 0 ] && run "$bench" "$out/new.json"
[ "$first" = 0 ] && [ -n "$base" ] && run "$base" "$out/base.json"
python3 - "$out" "$base" "$first" <<'PYEOF'
import glob, json, os, statistics, sys
out, base, first = sys.argv[1], sys.argv[2], sys.argv[3] == "1"
names = ["Waver", "Tunnel", "Cloud", "Waver 3D", "Particles1", "Metaball Viewer", "Obj viewer", "Torus Tunnel",
         "Flo (nothing)", "Ripple obj viewer", "Sound Scape", "Wave"]
def medians(path):
    m = {}
    for r in json.load(open(path))["benchmarks"]:
        if r.get("aggregate_name") == "median":
            kind, index = r["run_name"].split("/")[0:2]
            m[(kind, int(index))] = r["real_time"]
    return m
if first:
    steady = medians(f"{out}/steady.json")
    runs = {}
    for path in glob.glob(f"{out}/first-*.json"):
        _, _, index, warm = os.path.basename(path)[:-5].split("-")
        for r in json.load(open(path))["benchmarks"]:
            runs.setdefault((int(index), int(warm)), []).append(r)
    med = lambda rs, key: statistics.median(r[key] for r in rs)
    print(f"{'index module':<22} {'first before':>12} {'first after':>12} {'later':>8} {'steady':>8}"
          "   (ms of CPU; first/later: build + first frame; medians of fresh processes)")
    for i, name in enumerate(names):
        if i == 8:
            continue
        before, after = runs[(i, 0)], runs[(i, 1)]
        later = med(before + after, "later_ms")
        print(f"{i:>2} {name:<19} {med(before, 'first_ms'):12.2f} {med(after, 'first_ms'):12.2f} {later:8.2f}"
              f" {steady[('BM_ModuleSteadyFrame', i)]:8.2f}")
    warm = [r["warmup_ms"] for (i, w), rs in runs.items() if w == 1 for r in rs]
    print(f"warm-up of all twelve modules: median {statistics.median(warm):.0f} ms of CPU")
    sys.exit(0)
sides = [("new", medians(f"{out}/new.json"))]
if base:
    sides.insert(0, ("main", medians(f"{out}/base.json")))
header = f"{'index module':<22}" + "".join(f" {s + ' build':>11} {s + ' steady':>11} {'ratio':>6}" for s, _ in sides)
print(header + "   (ms of CPU per frame)")
for i, name in enumerate(names):
    line = f"{i:>2} {name:<19}"
    for _, m in sides:
        build, steady = m[("BM_ModuleBuildFrame", i)], m[("BM_ModuleSteadyFrame", i)]
        ratio = f"{build / steady:6.2f}" if steady > 0.01 else f"{'-':>6}"
        line += f" {build:11.2f} {steady:11.2f} {ratio}"
    print(line)
PYEOF
