#!/usr/bin/env bash
# Checks the include layering of the sources under ROOT (default: the
# repository this script lives in). The folders stand in layers, bottom first:
#   input/ resources/  <  reactor/  <  reactors/  <  app/
# A file may include from its own layer and from the layers below it. An
# include from a layer above is an error unless it is one of the few the
# layout calls for, listed in `allowed` below. Every #include "..." line of
# every .h and .cpp file is looked at; a path relative to the including file
# (such as "../app/X.h") is resolved first. Prints one line per refused
# include and exits 1 when there is any, 0 otherwise.
set -uo pipefail

root="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
root="${root%/}"

# Sets `layer` to the layer of a path (-1: outside the layer folders).
layer_of() {
    case "$1" in
        input/* | resources/*) layer=0 ;;
        reactor/*) layer=1 ;;
        reactors/*) layer=2 ;;
        app/*) layer=3 ;;
        *) layer=-1 ;;
    esac
}

# The upward includes that follow from the layout: "including-file included-file",
# glob patterns, one pair a line.
allowed=(
    # The reactors read the control table, which lives with the universe.
    "reactor/* app/ControlTable.h"
    "reactors/* app/ControlTable.h"
    # The loader builds every effect by its index, so it names them all.
    "reactor/ReactorLoader.cpp reactors/*"
    # Preloading fills the universe's image and model sets.
    "resources/Preloading.cpp app/qelUnivCell.h"
    # The image and model genes are genes: they derive from the gene base.
    "resources/* reactor/Gene.h"
)

is_allowed() {
    local from="$1" to="$2" pair pattern target
    for pair in "${allowed[@]}"; do
        pattern="${pair%% *}"
        target="${pair#* }"
        # Unquoted right-hand sides: glob patterns.
        # shellcheck disable=SC2053
        [[ "$from" == $pattern && "$to" == $target ]] && return 0
    done
    return 1
}

if [ ! -d "$root" ]; then
    echo "check-layering: no such directory: $root" >&2
    exit 2
fi

refused=0
checked=0
while IFS= read -r -d '' path; do
    file="${path#"$root"/}"
    layer_of "$file"
    from_layer=$layer
    while IFS= read -r match; do
        line="${match%%:*}"
        [[ "${match#*:}" =~ include[[:space:]]*\"([^\"]*)\" ]] || continue
        included="${BASH_REMATCH[1]}"
        target="$included"
        layer_of "$target"
        if [ "$layer" -lt 0 ]; then
            # Not rooted at a layer folder: try it relative to the including file.
            target=$(realpath -m --relative-to="$root" "$root/${file%/*}/$included")
            layer_of "$target"
        fi
        to_layer=$layer
        [ "$to_layer" -lt 0 ] && continue
        checked=$((checked + 1))
        if [ "$to_layer" -gt "$from_layer" ] && ! is_allowed "$file" "$target"; then
            echo "$file:$line: includes \"$included\" from a layer above (${target%%/*}/ over ${file%%/*}/)"
            refused=$((refused + 1))
        fi
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$path")
done < <(find "$root/input" "$root/resources" "$root/reactor" "$root/reactors" "$root/app" \
              -type f \( -name '*.h' -o -name '*.cpp' \) -print0 2>/dev/null | sort -z)

if [ "$refused" -gt 0 ]; then
    echo "check-layering: $refused include(s) against the layering"
    exit 1
fi
echo "check-layering: $checked includes between layer folders, all in order"
exit 0
