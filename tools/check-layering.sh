#!/usr/bin/env bash
# Checks the include layering of the sources under ROOT (default: the
# repository this script lives in). Each folder may include from itself and
# from the folders it stands on, bottom first:
#   platform/                         Linux layers, settings, files
#   input/ resources/                 devices; images, models (one layer)
#   reactor/  <  reactors/  <  app/   the instrument itself
#   control/   operator/              remote control; the operator's view
#   show/                             scenes, recording, replay, offline render
#   programs/                         the two programs
# control/ and operator/ stand side by side and do not use each other.
# An include from a folder a file may not use is an error unless it is one of
# the few arrows of the instrument's own layout, listed in `allowed` below.
# Every #include "..." line of every .h and .cpp file is looked at; a path
# relative to the including file (such as "../app/X.h") is resolved first.
# Prints one line per refused include and exits 1 when there is any, 0
# otherwise. The CMake libraries follow the same order, and the linker
# refuses a call into a library above (CMakeLists.txt, *_links).
set -uo pipefail

root="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
root="${root%/}"

folders=(platform input resources reactor reactors app control operator show programs)
core="input resources reactor reactors app"
declare -A uses=(
    [platform]=""
    [input]="resources"
    [resources]="input"
    [reactor]="input resources"
    [reactors]="input resources reactor"
    [app]="input resources reactor reactors"
    [control]="$core"
    [operator]="$core"
    [show]="$core control"
    [programs]="$core control operator show"
)
for folder in "${folders[@]}"; do
    [ "$folder" = platform ] || uses[$folder]="platform ${uses[$folder]}"
done

# The arrows of the instrument's own layout that run up: "including-file
# included-file", glob patterns, one pair a line, each with its reason.
allowed=(
    # The reactors read the control table, which lives with the universe.
    "reactor*/* app/ControlTable.h"
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

# Sets `folder` to the layered folder of a path ("" outside them).
folder_of() {
    folder="${1%%/*}"
    [[ -n "${uses[$folder]+x}" && "$1" == */* ]] || folder=""
}

may_use() {
    local from="$1" to="$2" f
    [ "$from" = "$to" ] && return 0
    for f in ${uses[$from]}; do [ "$f" = "$to" ] && return 0; done
    return 1
}

if [ ! -d "$root" ]; then
    echo "check-layering: no such directory: $root" >&2
    exit 2
fi

refused=0
checked=0
dirs=()
for f in "${folders[@]}"; do [ -d "$root/$f" ] && dirs+=("$root/$f"); done
while IFS= read -r -d '' path; do
    file="${path#"$root"/}"
    folder_of "$file"
    from="$folder"
    while IFS= read -r match; do
        line="${match%%:*}"
        [[ "${match#*:}" =~ include[[:space:]]*\"([^\"]*)\" ]] || continue
        included="${BASH_REMATCH[1]}"
        target="$included"
        folder_of "$target"
        if [ -z "$folder" ]; then
            # Not rooted at a layered folder: try it relative to the including file.
            target=$(realpath -m --relative-to="$root" "$root/${file%/*}/$included")
            folder_of "$target"
        fi
        to="$folder"
        [ -z "$to" ] && continue
        checked=$((checked + 1))
        if ! may_use "$from" "$to" && ! is_allowed "$file" "$target"; then
            echo "$file:$line: includes \"$included\" from ${to}/, which ${from}/ may not use"
            refused=$((refused + 1))
        fi
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$path")
done < <(find "${dirs[@]}" -type f \( -name '*.h' -o -name '*.cpp' \) -print0 2>/dev/null | sort -z)

if [ "$refused" -gt 0 ]; then
    echo "check-layering: $refused include(s) against the layering"
    exit 1
fi
echo "check-layering: $checked includes between folders, all in order"
exit 0
