#!/usr/bin/env bash
# Renders one golden scene and compares the chosen frames with the committed
# reference pictures, or (with --update) replaces the references.
#
#   run-golden.sh [--update] <strata-render> <strata-golden-compare> <work dir> <name>
set -euo pipefail

update=0
if [ "${1:-}" = "--update" ]; then
  update=1
  shift
fi
render="$1"
compare="$2"
work="$3"
name="$4"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

line="$(awk -v n="$name" '$1 == n && $1 !~ /^#/ { print; exit }' "$here/goldens.txt")"
if [ -z "$line" ]; then
  echo "run-golden: no scene '$name' in $here/goldens.txt" >&2
  exit 2
fi
read -r _ reactor frames options <<<"$line"
wav=()
clean=0
for option in ${options:-}; do
  case "$option" in
    sound) wav=(--wav "$here/sound.wav") ;;
    clean) clean=1 ;;
    *) echo "run-golden: unknown option '$option' for '$name'" >&2; exit 2 ;;
  esac
done
# A clean scene "<name>-clean" replays the show of "<name>" with clean layers.
scene="$here/scenes/${name%-clean}.show"

rm -rf "$work"
mkdir -p "$work/out"
show="$work/$name.show"
{
  if [ "$reactor" != "-" ]; then
    echo "# standard scene: no trail, cell 0 fully raised, module $reactor"
    echo "0 ctl 11 19 0"
    echo "0 key F1 639 240"
    for ((i = 0; i < reactor; i++)); do echo "0 key Down"; done
  elif [ ! -f "$scene" ]; then
    echo "run-golden: scene '$name' needs $scene" >&2
    exit 2
  fi
  if [ -f "$scene" ]; then cat "$scene"; fi
} >"$show"

last="${frames##*,}"
STRATA_CLEAN_LAYERS="$clean" "$render" "$here/stage" --script "$show" --frames "$((last + 1))" --png-frames "$frames" \
  --out "$work/out" --quiet "${wav[@]}" 2>"$work/console.txt" || {
  echo "run-golden: strata-render failed for '$name'; its console:" >&2
  tail -n 20 "$work/console.txt" >&2
  exit 1
}

status=0
IFS=',' read -r -a list <<<"$frames"
for f in "${list[@]}"; do
  picture="$(printf 'frame-%06d.png' "$f")"
  reference="$here/reference/$name/$picture"
  if [ "$update" = 1 ]; then
    mkdir -p "$here/reference/$name"
    cp "$work/out/$picture" "$reference"
    echo "updated $reference"
    continue
  fi
  if [ ! -f "$reference" ]; then
    echo "run-golden: no reference $reference: render it with tools/update-goldens.sh $name and look at it" >&2
    status=1
    continue
  fi
  if ! "$compare" "$reference" "$work/out/$picture" --diff "$work/diff-$picture"; then
    echo "run-golden: '$name' frame $f differs from its reference (difference picture: $work/diff-$picture)" >&2
    status=1
  fi
done
exit "$status"
