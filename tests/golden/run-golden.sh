#!/usr/bin/env bash
# Renders one golden scene and compares the chosen frames with the committed
# reference pictures, or (with --update) replaces the references.
#   run-golden.sh [--update] <strata-render> <strata-golden-compare> <work dir> <name>
set -euo pipefail
update=0
[ "${1:-}" = "--update" ] && update=1 && shift
render="$1" compare="$2" work="$3" name="$4"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
die() { echo "run-golden: $*" >&2; exit 2; }
line="$(awk -v n="$name" '$1 == n && $1 !~ /^#/ { print; exit }' "$here/goldens.txt")"
[ -n "$line" ] || die "no scene '$name' in $here/goldens.txt"
read -r _ reactor frames options <<<"$line"
wav=() clean=0 stage="$here/stage"
for option in ${options:-}; do
  case "$option" in
    sound) wav=(--wav "$here/sound.wav") ;; clean) clean=1 ;; media) stage="$here/stage-media" ;;
    *) die "unknown option '$option'" ;;
  esac
done
# A clean scene "<name>-clean" replays the show of "<name>" with clean layers.
scene="$here/scenes/${name%-clean}.show"
[ "$reactor" != "-" ] || [ -f "$scene" ] || die "scene '$name' needs $scene"

rm -rf "$work" && mkdir -p "$work/out"
show="$work/$name.show"
if [ "$reactor" != "-" ]; then  # the standard scene: no trail, cell 0 fully raised, module $reactor
  { echo "0 ctl 11 19 0"; echo "0 key F1 639 240"; for ((i = 0; i < reactor; i++)); do echo "0 key Down"; done
  } >"$show"
fi
[ -f "$scene" ] && cat "$scene" >>"$show"
STRATA_CLEAN_LAYERS="$clean" "$render" "$stage" --script "$show" --frames "$((${frames##*,} + 1))" \
  --png-frames "$frames" --out "$work/out" --quiet "${wav[@]}" 2>"$work/console.txt" ||
  { echo "run-golden: strata-render failed for '$name'; its console:" >&2; tail -n 20 "$work/console.txt" >&2; exit 1; }

status=0
for f in ${frames//,/ }; do
  picture="$(printf 'frame-%06d.png' "$f")"
  reference="$here/reference/$name/$picture"
  if [ "$update" = 1 ]; then
    mkdir -p "$here/reference/$name" && cp "$work/out/$picture" "$reference" && echo "updated $reference"
  elif [ ! -f "$reference" ]; then
    echo "run-golden: no reference $reference: render it with tools/update-goldens.sh $name and look at it" >&2
    status=1
  elif ! "$compare" "$reference" "$work/out/$picture" --diff "$work/diff-$picture"; then
    echo "run-golden: '$name' frame $f differs from its reference (difference picture: $work/diff-$picture)" >&2
    status=1
  fi
done
exit "$status"
