#!/usr/bin/env bash
# Runs the include-layering check on a copy of the sources: the copy as it is
# must pass, and each planted include below must be refused (naming the file
# and line) or, for the kinds the layering allows, still pass.
#   planted.sh SOURCE_DIR
set -uo pipefail
check="${1:?usage: planted.sh SOURCE_DIR}/tools/check-layering.sh"
tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT
for layer in platform input resources reactor reactors app control operator show follow programs; do cp -r "$1/$layer" "$tree/"; done
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
out=$(bash "$check" "$tree") || fail "the unchanged copy is refused: $out"

# file | planted line | expected exit status (1 refused, 0 allowed)
plants=(
    'input/MidiInput.cpp|#include "app/qelUnivCell.h"|1'
    'resources/ObjModel.cpp|#include "reactors/DrawModel.h"|1'
    'resources/ImageGene.cpp|#include "app/qelUnivCell.h"|1'
    'resources/ModelGene.cpp|#  include "reactor/Reactor.h"|1'
    'reactor/qelCell.cpp|#include "reactors/Waver.h"|1'
    'reactors/Waver.cpp|#include "app/qelUnivCell.h"|1'
    'reactors/Wave.cpp|#include "../app/FrameSteps.h"|1'
    'reactors/Cloud.h|#include "app/ControlTable.h"|0'
    'reactor/ReactorLoader.cpp|#include "reactors/RippleGene.h"|0'
    'app/GlutApp.cpp|#include "reactors/Waver.h"|0'
    'input/Joystick.cpp|#include "resources/ObjModel.h"|0'
    'platform/AtomicFile.cpp|#include "app/ControlTable.h"|1'
    'app/GlutApp.cpp|#include "control/ControlBus.h"|1'
    'app/qelUnivCell.cpp|#include "show/SceneBank.h"|1'
    'show/SceneBank.cpp|#include "follow/FollowWire.h"|1'
    'control/OscServer.cpp|#include "show/ShowScript.h"|1'
    'control/ControlBus.cpp|#include "operator/OperatorOverlay.h"|1'
    'operator/DeviceReport.cpp|#include "control/ControlBus.h"|1'
    'show/SceneBank.cpp|#include "programs/LiveShow.h"|1'
    'show/ShowReplay.cpp|#include "control/ControlBus.h"|0'
    'programs/LiveShow.cpp|#include "operator/OverlayPainter.h"|0'
    'operator/LevelMeter.cpp|#include "platform/FramePacer.h"|0'
)
for plant in "${plants[@]}"; do
    IFS='|' read -r file line expected <<<"$plant"
    cp "$tree/$file" "$tree/$file.orig"
    printf '%s\n' "$line" >>"$tree/$file"
    planted_at=$(wc -l <"$tree/$file")
    out=$(bash "$check" "$tree")
    status=$?
    mv "$tree/$file.orig" "$tree/$file"
    [ "$status" -eq "$expected" ] || fail "$file + '$line': exit $status, expected $expected: $out"
    [ "$expected" -eq 0 ] || grep -q "^$file:$planted_at: " <<<"$out" ||
        fail "$file + '$line': refused without naming $file:$planted_at: $out"
done
[ "$failures" -eq 0 ] || { echo "planted.sh: $failures case(s) failed"; exit 1; }
echo "planted.sh: ${#plants[@]} planted includes judged as expected"
