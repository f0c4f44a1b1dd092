#!/usr/bin/env bash
# The documentation check must refuse what goes stale: each planted page
# below holds one fault and must fail with a line naming it; the last holds
# only working examples and must pass.
#   planted.sh SOURCE_DIR BUILD_DIR WORK_DIR
set -uo pipefail
src="$1"
build="$2"
work="$3"
check="$src/tests/docs/check-docs.py"
rm -rf "$work" && mkdir -p "$work"

failures=0
# page text (printf %b) | a fragment the fault line must hold ("" = must pass)
plants=(
    '```sh\ntools/no-such-script.sh 10\n```|no such file in the repository: tools/no-such-script.sh'
    'Read `platform/NoSuchFile.h` first.|no such file in the repository: platform/NoSuchFile.h'
    '```bash\nbuild/strata-render stage --frames 600 --no-such-option 3\n```|has no option --no-such-option'
    '```sh\nbuild/strata-render stage --frames 600 \\\n   --png-evry 60\n```|has no option --png-evry'
    '```sh\nSTRATA_NO_SUCH=1 ./run.sh\n```|STRATA_NO_SUCH is neither'
    '```console\n$ cd stage\n$ ../tools/gone.sh\n```|no such file in the repository: tools/gone.sh'
    '$ build/strata-render no-such-stage --frames 2 --png-frames 1|ends with status'
    'See [the keys](#no-such-heading).|names no heading'
    '![shot](no-such.png)|leads nowhere'
    '# Fine\n\n```sh\ncd stage\n../build/strata-render . --frames 2 --png-frames 1 --out x\n```\n\n```console\n$ build/strata --version\nstrata tools/output-not-a-path.sh\n```\n\nSee `tools/soak.sh` and [above](#fine).|'
)
for i in "${!plants[@]}"; do
    IFS='|' read -r text expected <<<"${plants[$i]}"
    page="$work/plant-$i.md"
    printf '%b\n' "$text" >"$page"
    out=$(python3 "$check" "$src" "$build" "$work/run" "$page" 2>&1)
    status=$?
    if [ -z "$expected" ]; then
        [ "$status" -eq 0 ] || { echo "FAIL: plant $i must pass: $out"; failures=$((failures + 1)); }
    elif [ "$status" -ne 1 ] || ! grep -qe "plant-$i\.md:[0-9]*: .*$expected" <<<"$out"; then
        echo "FAIL: plant $i ($expected): exit $status: $out"
        failures=$((failures + 1))
    fi
done

if [ "$failures" -gt 0 ]; then
    echo "planted.sh: $failures case(s) failed"
    exit 1
fi
echo "planted.sh: ${#plants[@]} planted pages judged as expected"
