#!/usr/bin/env bash
# A live show recorded with STRATA_RECORD re-renders exactly: the live program
# dumps chosen frames of its virtual screen (STRATA_DUMP_FRAMES), strata-render
# plays the recording (script and sound) and its frames must be the same
# bytes. Two shows: one driven by a wave file with Sound Scape and Particles1
# raised; one without sound, with module changes, a joystick, the scene keys
# (Ctrl+Shift+2 stores, Ctrl+2 recalls with a cross-fade) and mouse keys;
# and a show played over OSC (oscsend on loopback): layers, modules, a
# controller, keys, the trail, a scene stored and recalled.
set -uo pipefail
STRATA="$1"; SOURCE="$2"; WORK="$3"
RENDER="$(dirname "$STRATA")/strata-render"
. "$SOURCE/tests/e2e/common.bash"
rm -rf "$WORK"; mkdir -p "$WORK"
trap 'stop_x' EXIT
cd "$WORK"
cp -r "$SOURCE/tests/golden/stage" stage
[ -x "$RENDER" ] || fail "no strata-render beside $STRATA"

python3 - <<'PY'
import math, struct, wave
rate = 22050
with wave.open("beat.wav", "wb") as w:
    w.setnchannels(2); w.setsampwidth(2); w.setframerate(rate)
    frames = bytearray()
    for i in range(rate * 3):
        t = i / rate
        env = 0.2 + 0.8 * abs(math.sin(math.pi * 2 * t))
        left = int(26000 * env * math.sin(2 * math.pi * (90 + 300 * t) * t))
        right = int(18000 * env * math.sin(2 * math.pi * 330 * t))
        frames += struct.pack("<hh", left, right)
    w.writeframes(bytes(frames))
# A joystick: the Linux js_event records of a push to the right with button 2.
with open("joystick.events", "wb") as j:
    for number, kind, value in ((0, 2, 20000), (1, 2, -12000), (1, 1, 1)):
        j.write(struct.pack("<IhBB", 0, value, kind, number))
PY

start_x 640x480
export LIBGL_ALWAYS_SOFTWARE=1 STRATA_WINDOWED=1
DUMPS=$(seq -s, 0 7 3000)

# record TAG KEYS-FUNCTION: runs the live program recording into rec-TAG and
# dumping frames into live-TAG, plays the keys, ends with Esc.
record() {
  local tag="$1" play="$2"
  STRATA_RECORD="$PWD/rec-$tag" STRATA_DUMP_FRAMES="$DUMPS" STRATA_DUMP_DIR="$PWD/live-$tag" \
    start_strata stage "$tag.log"
  wait_for_line "$tag.log" "qelUnivCell::init -- loadModels()" 60 || fail "$tag: no start-up"
  local win
  win=$(strata_window) || fail "$tag: no window"
  "$play"
  sleep 1
  end_strata "$win" || fail "$tag: exit status $?"
  grep -q "recording stopped" "$tag.log.err" || fail "$tag: the recording did not stop: $(tail -n 3 "$tag.log.err")"
}

# replay TAG [render options]: renders the recording and compares every
# dumped frame of the live run with the same frame of the render.
replay() {
  local tag="$1"; shift
  local frames
  frames=$(ls "live-$tag" | sed -n 's/^frame-0*\([0-9][0-9]*\)\.png$/\1/p; s/^frame-000000\.png$/0/p' | sort -n | uniq | paste -sd,)
  [ -n "$frames" ] || fail "$tag: no frames dumped live"
  "$RENDER" stage --script "rec-$tag/show.script" --png-frames "$frames" --out "render-$tag" --quiet "$@" \
    2>"render-$tag.err" || fail "$tag: strata-render failed: $(tail -n 3 "render-$tag.err")"
  local n=0 same=0 f
  for f in live-$tag/frame-*.png; do
    n=$((n + 1))
    [ -f "render-$tag/$(basename "$f")" ] || fail "$tag: $(basename "$f") not rendered"
    cmp -s "$f" "render-$tag/$(basename "$f")" && same=$((same + 1))
  done
  [ "$same" -eq "$n" ] || fail "$tag: $((n - same)) of $n dumped frames differ from the re-render"
  echo "$tag: $n live frames equal their re-render" >&2
  NFRAMES=$n
}

play_sound() {
  xdotool mousemove 639 240 key F1          # cell 0 fully up
  for _ in $(seq 1 10); do xdotool key Down; done   # Sound Scape
  xdotool mousemove 500 100 key F2          # cell 1 ...
  for _ in $(seq 1 4); do xdotool key Down; done    # ... Particles1
  sleep 1.5
  xdotool mousemove 200 300 key q key w     # controllers 17, 18 of channel 1
  sleep 1.5
}

play_keys() {
  xdotool mousemove 600 240 key F1 key Down key Down   # cell 0: Cloud
  xdotool mousemove 100 400 key e key r
  sleep 0.5
  xdotool key ctrl+shift+2                  # store scene 2
  sleep 0.3
  xdotool mousemove 639 240 key F2 key Next # cell 1 up; joystick on (Page Down)
  for _ in $(seq 1 3); do xdotool key Down; done
  xdotool mousemove 20 20 key t key y key F1
  sleep 0.8
  xdotool key ctrl+2                        # recall scene 2 (cross-fade)
  sleep 1.2
}

STRATA_AUDIO="$PWD/beat.wav" record sound play_sound
grep -qxF "WaveFile is Successfully Opened" sound.log || fail "sound: the wave file was not opened"
grep -q " sound$" rec-sound/show.script || fail "sound: no sound blocks recorded"
replay sound --wav rec-sound/sound.wav
sound_frames=$NFRAMES
# The sound matters: without it the same recording gives other pictures.
"$RENDER" stage --script rec-sound/show.script --png-frames "$(ls live-sound | tail -n 1 | sed 's/^frame-0*\([0-9]*\)\.png$/\1/')" \
  --out silent --quiet 2>/dev/null || fail "silent render failed"
last=$(ls live-sound | tail -n 1)
cmp -s "live-sound/$last" "silent/$last" && fail "sound: the picture does not depend on the recorded sound"

STRATA_AUDIO=no-such-device STRATA_SCENE_FADE=400 STRATA_JOYSTICK="$PWD/joystick.events" record keys play_keys
[ -f stage/scenes/02.scene ] || fail "keys: Ctrl+Shift+2 stored no scene"
grep -q "scene recalled from scenes/02.scene (fade 400 ms)" keys.log.err || fail "keys: Ctrl+2 recalled no scene"
grep -q " scene scene-[0-9]*\.scene 400$" rec-keys/show.script || fail "keys: the recall was not recorded"
grep -q " joy " rec-keys/show.script || fail "keys: no joystick readings recorded"
replay keys
key_frames=$NFRAMES

OSC_PORT=$(free_port)
[ -n "$OSC_PORT" ] || fail "no free loopback port"
send() { oscsend 127.0.0.1 "$OSC_PORT" "$@" || fail "osc: oscsend $* failed"; }
play_osc() {
  wait_for_line osc.log.err "OSC: listening on 127.0.0.1:$OSC_PORT" 10 || fail "osc: not listening"
  send /strata/layer/1/opacity f 1.0
  send /strata/layer/1/module s Cloud
  send /strata/layer/2/opacity f 0.8
  send /strata/layer/2/module i 4
  send /strata/ctl iif 1 20 0.5
  sleep 0.6
  send /strata/scene/store i 3
  send /strata/key sii e 100 400
  send /strata/trail f 0.4
  send /strata/layer/1/module i 6
  sleep 0.8
  send /strata/scene/recall i 3
  send /strata/select i 2
  send /strata/key sii q 500 100
  sleep 1
}
if command -v oscsend >/dev/null; then
  STRATA_AUDIO=no-such-device STRATA_OSC="127.0.0.1:$OSC_PORT" record osc play_osc
  [ -f stage/scenes/03.scene ] || fail "osc: /strata/scene/store stored no scene"
  for line in " osc /strata/layer/1/module 2$" " osc /strata/key e 100 400$" " osc /strata/ctl 1 20 0.500000000$" \
              " scene scene-[0-9]*\.scene 0 bus$"; do
    grep -q "$line" rec-osc/show.script || fail "osc: no '$line' in the recording"
  done
  replay osc
  echo "record: ok (sound show $sound_frames frames, key show $key_frames frames, OSC show $NFRAMES frames bit-equal)"
else
  echo "record: ok (sound show $sound_frames frames, key show $key_frames frames bit-equal; no oscsend for the OSC show)"
fi
