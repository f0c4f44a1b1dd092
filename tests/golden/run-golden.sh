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
wav=() clean=0 stage="$here/stage" like=0
for option in ${options:-}; do
  case "$option" in
    sound) wav=(--wav "$here/sound.wav") ;; clean) clean=1 ;; media) stage="$here/stage-media" ;; like) like=1 ;;
    *) die "unknown option '$option'" ;;
  esac
done
# A scene "<base>-<W>x<H>" is drawn at that size with the show of "<base>";
# with 'like' it has no pictures of its own: each frame, scaled down to
# 640x480, must look like <base>'s.
size=() base="$name"
if [[ "$name" =~ ^(.+)-([0-9]+x[0-9]+)$ ]]; then base="${BASH_REMATCH[1]}" size=(--size "${BASH_REMATCH[2]}"); fi
[ "$like" = 0 ] || [ ${#size[@]} -gt 0 ] || die "'like' needs a scene named <base>-<W>x<H>"
# A clean scene "<name>-clean" replays the show of "<name>" with clean layers.
scene="$here/scenes/${base%-clean}.show"
[ "$reactor" != "-" ] || [ -f "$scene" ] || die "scene '$name' needs $scene"

rm -rf "$work" && mkdir -p "$work/out"
show="$work/$name.show"
if [ "$reactor" != "-" ]; then  # the standard scene: no trail, cell 0 fully raised, module $reactor
  { echo "0 ctl 11 19 0"; echo "0 key F1 639 240"; for ((i = 0; i < reactor; i++)); do echo "0 key Down"; done
  } >"$show"
fi
[ -f "$scene" ] && cat "$scene" >>"$show"
STRATA_CLEAN_LAYERS="$clean" "$render" "$stage" --script "$show" --frames "$((${frames##*,} + 1))" \
  --png-frames "$frames" --out "$work/out" --quiet "${wav[@]}" "${size[@]}" 2>"$work/console.txt" ||
  { echo "run-golden: strata-render failed for '$name'; its console:" >&2; tail -n 20 "$work/console.txt" >&2; exit 1; }

status=0
for f in ${frames//,/ }; do
  picture="$(printf 'frame-%06d.png' "$f")"
  reference="$here/reference/$name/$picture"
  if [ "$like" = 1 ]; then
    # Mean difference and PSNR: the limits are explained in golden_compare.cpp.
    "$compare" "$here/reference/$base/$picture" "$work/out/$picture" --downscale || {
      echo "run-golden: '$name' frame $f scaled down does not look like '$base'" >&2; status=1; }
  elif [ "$update" = 1 ]; then
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
