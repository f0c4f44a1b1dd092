#!/usr/bin/env bash
# The instrument on the bundled stage: it logs the preloading of the image
# sets, models and help pages, reaches the frame loop and shows image content
# in a raised cell; Right steps the image set, Down the module, 'h' shows the
# help page behind the effect; Esc ends it with status 0.
set -uo pipefail
STRATA="$1"; SOURCE="$2"; WORK="$3"
. "$SOURCE/tests/e2e/common.bash"
rm -rf "$WORK"; mkdir -p "$WORK"
trap 'stop_x' EXIT
cd "$WORK"
cp -r "$SOURCE/stage" stage

start_x 640x480
export LIBGL_ALWAYS_SOFTWARE=1
start_strata stage out.log
wait_for_line out.log "qelUnivCell::init -- loadModels()" 60 || fail "no start-up: $(tail -n 5 out.log out.log.err)"
win=$(strata_window) || fail "no window"
for line in "Modules DataBase is built " "Image PreLoading Complete " "Models PreLoading Complete " \
            "Generate IGene::Loading Image List from directory imgs3" \
            "Generate ModelGene::Loading Model List from directory mdls" "Models set 4 models"; do
  grep -qxF -- "$line" out.log || fail "missing line '$line'"
done
[ "$(grep -c '^Reading Texture \.\.\.' out.log)" -ge 15 ] || fail "image sets not read"
sleep 1

colours() { convert "$1" -colors 64 -format '%k' info:; }

xdotool mousemove 639 240 key F1
sleep 2
shot waver.png
[ "$(mean_brightness waver.png)" -ge 20 ] || fail "raised Waver shows nothing"
[ "$(colours waver.png)" -ge 16 ] || fail "raised Waver shows no image content"

xdotool key Right
sleep 2
shot imageset.png
[ "$(compare -metric AE -fuzz 10% waver.png imageset.png null: 2>&1)" -gt 20000 ] || fail "Right did not change the picture"

xdotool key Down
wait_for_line out.log "Loading ... : Tunnel " 10 || fail "Down did not load the next module"
sleep 2
shot tunnel.png
[ "$(mean_brightness tunnel.png)" -ge 10 ] || fail "Tunnel shows nothing"

xdotool key h
wait_for_line out.log " Enter Help Mode ..." 10 || fail "no help mode"
sleep 2
shot help.png
[ "$(compare -metric AE -fuzz 10% tunnel.png help.png null: 2>&1)" -gt 5000 ] || fail "help page not shown"
xdotool key h
wait_for_line out.log " Out   Help Mode ..." 10 || fail "help mode did not end"

end_strata "$win"
status=$?
[ "$status" -eq 0 ] || fail "exit status $status"
echo "stage: ok"
