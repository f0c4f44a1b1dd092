#!/usr/bin/env bash
# The operator's view: device lines on standard error (no devices, a wave
# file, a missing file, and the toggles of End, Page Down and Home), the
# overlay shown at start and hidden with Insert, Insert leaving the picture
# untouched, desktop mode on a 1280x1024 screen, and a monitor chosen by name.
set -uo pipefail
STRATA="$1"; SOURCE="$2"; WORK="$3"
RENDER="$(dirname "$STRATA")/strata-render"
. "$SOURCE/tests/e2e/common.bash"
rm -rf "$WORK"; mkdir -p "$WORK/stage"
trap 'stop_x' EXIT
cd "$WORK"
printf 'a 21\n' >stage/key.db
write_modules stage/modules.db
cp -r "$SOURCE/stage/imgs" stage/imgs
cp "$SOURCE/tests/golden/sound.wav" sound.wav

start_x 1280x1024
export LIBGL_ALWAYS_SOFTWARE=1
export STRATA_JOYSTICK="$PWD/no-joystick"

# run TAG [env...]: starts the instrument with the environment, waits for it.
run() {
  local tag="$1"; shift
  (cd stage && exec env "$@" "$STRATA" >"../$tag.log" 2>"../$tag.err") &
  STRATA_PID=$!
  wait_for_line "$tag.log" "qelUnivCell::init -- loadModels()" 30 || fail "$tag: no start-up: $(tail -n 3 "$tag.err")"
  win=$(strata_window) || fail "$tag: no window"
  sleep 1
}
has_line() { grep -qxF -- "$2" "$1" || fail "$1 lacks the line '$2': $(cat "$1")"; }

# No devices: one line each on standard error; standard output as before.
run none STRATA_AUDIO=no-such-device
sleep 1.5
shot start.png
has_line none.err "strata: sound: no sound input: no-such-device: No such file or directory"
has_line none.err "strata: joystick: absent ($PWD/no-joystick)"
grep -qE '^strata: MIDI: (no sequencer|.*virtual port.*); input is off until End$' none.err || fail "no MIDI line: $(cat none.err)"
has_line none.log "Record Failed"
grep -q '^strata' none.log && fail "a report line reached standard output"
# Each toggle gives one line.
xdotool key End; sleep 0.3; xdotool key Next; sleep 0.3; xdotool key Home; sleep 0.3; xdotool key End; sleep 0.5
for line in "strata: MIDI input on (End)" "strata: joystick input on (Page Down)" "strata: cursor shown (Home)" \
            "strata: MIDI input off (End)"; do has_line none.err "$line"; done
# The overlay shows at start (light text on a dark panel at the top left of a
# black picture); Insert hides it and the window is black again; Insert shows it.
panel=800x330+0+0
[ "$(mean_brightness start.png $panel)" -ge 8 ] || fail "no overlay at start"
xdotool key Insert; sleep 1
shot hidden.png
[ "$(mean_brightness hidden.png $panel)" -le 1 ] || fail "overlay not hidden by Insert"
xdotool key Insert; sleep 1.5
shot shown.png
[ "$(mean_brightness shown.png $panel)" -ge 8 ] || fail "overlay not shown again by Insert"
[ "$(mean_brightness shown.png 1280x600+0+400)" -le 1 ] || fail "the overlay reaches beyond its panel"
end_strata "$win" || fail "exit status $?"

# A wave file names its format; a missing one says why.
run wav STRATA_AUDIO="$PWD/sound.wav"
end_strata "$win" || fail "exit status $?"
grep -qE "^strata: sound: $PWD/sound.wav \(wave file, [0-9]+ Hz, [0-9] channels, [0-9]+-bit\), looping$" wav.err ||
  fail "no wave file line: $(cat wav.err)"
has_line wav.log "WaveFile is Successfully Opened"
run missing STRATA_AUDIO="$PWD/missing.wav"
end_strata "$win" || fail "exit status $?"
has_line missing.err "strata: sound: no sound input: $PWD/missing.wav: No such file or directory"

# Desktop mode: no mode switch, a window over the whole 1280x1024 desktop,
# the picture letterboxed in it; the same for a monitor chosen by name.
for mode in desktop monitor; do
  if [ "$mode" = desktop ]; then run desktop STRATA_MODE=desktop; else run monitor STRATA_MONITOR=screen; fi
  sleep 1.5
  xdotool key Insert; sleep 0.3
  xdotool mousemove 1279 512 key F1; sleep 1.5
  geometry=$(xdotool getwindowgeometry "$win" | awk '/Geometry/ { print $2 }')
  [ "$geometry" = 1280x1024 ] || fail "$mode: window is $geometry, not 1280x1024"
  shot "$mode.png"
  [ "$(mean_brightness "$mode.png" 1280x960+0+32)" -ge 10 ] || fail "$mode: picture dark"
  [ "$(mean_brightness "$mode.png" 1280x30+0+0)" -le 1 ] || fail "$mode: top bar not black"
  end_strata "$win" || fail "exit status $?"
  grep -q "failed to change screen settings" "$mode.err" && fail "$mode: the screen mode was switched"
done
has_line desktop.err "strata: desktop mode: a full-screen window at the desktop's 1280x1024, no mode switch"
has_line monitor.err "strata: monitor screen, 1280x1024 at 0,0"

# Insert, also with Shift, leaves the picture as it was: rendered frames with
# and without the keys are bit-identical.
{
  echo "0 key F1 639 240"
  echo "0 key Down"
} >base.show
cp base.show keys.show
printf '3 key Insert\n5 key Insert\n' >>keys.show
for show in base keys; do
  mkdir -p "$show"
  "$RENDER" stage --script "$show.show" --frames 8 --png-frames 7 --out "$show" --quiet 2>/dev/null ||
    fail "strata-render failed on $show.show"
done
cmp -s base/frame-000007.png keys/frame-000007.png || fail "Insert changed the rendered picture"
echo "operator: ok"
