#!/usr/bin/env bash
# Checks the include layering of the sources under ROOT (default: the
# repository this script lives in). Each folder may include from itself and
# from the folders it stands on, bottom first:
#   platform/                         Linux layers, settings, files
#   input/ resources/                 devices; images, models (one layer)
#   reactor/  <  reactors/  <  app/   the instrument itself
#   music/                            musical time: sound analysis, clock, modulators
#   projection/                       the output mapping (on platform/ alone; control/ and above use it)
#   control/   operator/              remote control; the operator's view
#   show/  surface/                   scenes, recording, replay, offline render; the web server
#   follow/                           several machines: a leader and its followers
#   programs/                         the two programs
# control/ and operator/ stand side by side and do not use each other; so do
# show/ and surface/.
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

folders=(platform projection input resources reactor reactors app music control operator show surface follow programs)
core="input resources reactor reactors app"
declare -A uses=(
    [platform]=""
    [projection]=""
    [input]="resources"
    [resources]="input"
    [reactor]="input resources"
    [reactors]="input resources reactor"
    [app]="input resources reactor reactors"
    [music]="$core"
    [control]="$core music projection"
    [operator]="$core music"
    [show]="$core music projection control"
    [surface]="$core music projection control"
    [follow]="$core music projection control show"
    [programs]="$core music projection control operator show surface follow"
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

if [ ! -d "$root" ]; then
    echo "check-layering: no such directory: $root" >&2
    exit 2
fi

# The walk itself, in one process (the folders, rules and arrows above are
# handed over in the environment).
export LAYER_ROOT="$root"
export LAYER_USES
LAYER_USES=$(for folder in "${folders[@]}"; do echo "$folder:${uses[$folder]}"; done)
export LAYER_ALLOWED
LAYER_ALLOWED=$(printf '%s\n' "${allowed[@]}")
exec python3 - <<'PY'
import fnmatch, os, re, sys

root = os.environ["LAYER_ROOT"]
uses = {}
for line in os.environ["LAYER_USES"].splitlines():
    folder, _, below = line.partition(":")
    uses[folder] = set(below.split())
allowed = [tuple(line.split(" ", 1)) for line in os.environ["LAYER_ALLOWED"].splitlines() if line]
include = re.compile(r'^\s*#\s*include\s*"([^"]*)"')

def folder_of(path):
    head, sep, _ = path.partition("/")
    return head if sep and head in uses else ""

refused = checked = 0
for folder in uses:
    top = os.path.join(root, folder)
    for directory, _, names in sorted(os.walk(top)):
        for name in sorted(names):
            if not name.endswith((".h", ".cpp")):
                continue
            file = os.path.relpath(os.path.join(directory, name), root)
            with open(os.path.join(root, file), errors="replace") as text:
                for number, line in enumerate(text, 1):
                    m = include.match(line)
                    if not m:
                        continue
                    included = target = m.group(1)
                    to = folder_of(target)
                    if not to:
                        # Not rooted at a layered folder: try it relative to the including file.
                        target = os.path.normpath(os.path.join(os.path.dirname(file), included))
                        to = folder_of(target)
                    if not to:
                        continue
                    checked += 1
                    if to == folder or to in uses[folder]:
                        continue
                    if any(fnmatch.fnmatchcase(file, a) and fnmatch.fnmatchcase(target, b) for a, b in allowed):
                        continue
                    print(f'{file}:{number}: includes "{included}" from {to}/, which {folder}/ may not use')
                    refused += 1
if refused:
    print(f"check-layering: {refused} include(s) against the layering")
    sys.exit(1)
print(f"check-layering: {checked} includes between folders, all in order")
PY
