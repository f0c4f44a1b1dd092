#!/usr/bin/env bash
# What a module change costs, module by module: the CPU time of the frame in
# which a cell builds the reactor (and draws its first frame) against the
# reactor's steady frame, with Mesa rasterising on the benchmark's thread.
#   bench/run-module-builds.sh [BENCH] [BASE_BENCH]
# BENCH defaults to build/bench/strata_bench. With BASE_BENCH (another build's
# strata_bench, e.g. from a git worktree of main) both are run in turns and
# shown side by side.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bench="${1:-$here/build/bench/strata_bench}"
base="${2:-}"
export LIBGL_ALWAYS_SOFTWARE=1 LP_NUM_THREADS=0
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
run() {
  "$1" --benchmark_filter='BM_Module(Build|Steady)Frame' --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true --benchmark_format=json >"$2" 2>/dev/null
}
run "$bench" "$out/new.json"
[ -n "$base" ] && run "$base" "$out/base.json"
python3 - "$out" "$base" <<'EOF'
import json, os, sys
out, base = sys.argv[1], sys.argv[2]
names = ["Waver", "Tunnel", "Cloud", "Waver 3D", "Particles1", "Metaball Viewer", "Obj viewer", "Torus Tunnel",
         "Flo (nothing)", "Ripple obj viewer", "Sound Scape", "Wave"]
def medians(path):
    m = {}
    for r in json.load(open(path))["benchmarks"]:
        if r.get("aggregate_name") == "median":
            kind, index = r["run_name"].split("/")[0:2]
            m[(kind, int(index))] = r["real_time"]
    return m
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
EOF
