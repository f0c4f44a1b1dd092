#!/usr/bin/env bash
# Times the metaball polygoniser of two builds side by side, for a speed
# ratio that holds on a shared, noisy machine: the two benchmark binaries run
# in turns (A B A B ...), each turn reporting the median thread CPU time of
# several repetitions, and the summary is the median over the turns.
#   bench/run-polygoniser-ab.sh BASE_BENCH NEW_BENCH [turns]   (default 6)
# BASE_BENCH and NEW_BENCH are strata_bench binaries, e.g. one built from a
# git worktree of main and the one of this tree (build/bench/strata_bench).
# Also prints each build's triangle count and accuracy counters.
set -euo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 BASE_BENCH NEW_BENCH [turns]" >&2
  exit 2
fi
base="$1"
new="$2"
turns="${3:-6}"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
for ((t = 0; t < turns; t++)); do
  for side in base new; do
    bin="$base"
    [ "$side" = new ] && bin="$new"
    "$bin" --benchmark_filter='BM_Polygonise' --benchmark_repetitions=5 --benchmark_min_time=0.2 \
      --benchmark_format=json >"$out/$side.$t.json" 2>/dev/null
  done
done
python3 - "$out" "$turns" <<'EOF'
import json, statistics, sys
out, turns = sys.argv[1], int(sys.argv[2])
times, counters = {}, {}
for t in range(turns):
    for side in ("base", "new"):
        runs = json.load(open(f"{out}/{side}.{t}.json"))["benchmarks"]
        for r in runs:
            if r.get("aggregate_name") == "median":
                times.setdefault((side, r["run_name"]), []).append(r["cpu_time"])
            elif r.get("run_type") == "iteration":
                keep = ("triangles", "sums_per_vertex", "dist_mean", "dist_max", "normal_max_deg")
                counters[(side, r["run_name"])] = {k: r[k] for k in keep if k in r}
names = sorted({name for _, name in times})
print(f"{'benchmark':<22} {'base ms':>9} {'new ms':>9} {'new/base':>9}   per-turn ratios")
for name in names:
    b, n = times[("base", name)], times[("new", name)]
    ratios = [y / x for x, y in zip(b, n)]
    print(f"{name:<22} {statistics.median(b):9.3f} {statistics.median(n):9.3f} {statistics.median(ratios):9.3f}   "
          + " ".join(f"{r:.2f}" for r in ratios))
for name in names:
    for side in ("base", "new"):
        c = counters[(side, name)]
        print(f"{name:<22} {side:<5} " + " ".join(f"{k}={v:.0f}" if k == "triangles" else f"{k}={v:.3g}"
                                                  for k, v in c.items()))
EOF
