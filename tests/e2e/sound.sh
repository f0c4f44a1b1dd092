#!/usr/bin/env bash
# Live sound reaches the picture: with STRATA_AUDIO naming a wave file, the
# Sound Scape module (reached with Down) shows bars that move from frame to
# frame; with no sound device the same scene stands still.
set -uo pipefail
STRATA="$1"; SOURCE="$2"; WORK="$3"
. "$SOURCE/tests/e2e/common.bash"
rm -rf "$WORK"; mkdir -p "$WORK/stage"
trap 'stop_x' EXIT
cd "$WORK"
printf 'a 21\n' >stage/key.db
write_modules stage/modules.db

# Two seconds of a 16-bit stereo 44.1 kHz sweep, written with python3.
python3 - <<'PY'
import math, struct, wave
rate = 44100
with wave.open("sweep.wav", "wb") as w:
    w.setnchannels(2); w.setsampwidth(2); w.setframerate(rate)
    frames = bytearray()
    for i in range(rate * 2):
        t = i / rate
        left = int(28000 * math.sin(2 * math.pi * (80 + 400 * t) * t))
        right = int(20000 * math.sin(2 * math.pi * 3 * t) * math.sin(2 * math.pi * 220 * t))
        frames += struct.pack("<hh", left, right)
    w.writeframes(bytes(frames))
PY

start_x 640x480
export LIBGL_ALWAYS_SOFTWARE=1

# run_scene WAVE: Sound Scape raised in cell 0; two screenshots 0.5 s apart.
run_scene() {
  local tag="$1"
  start_strata stage "$tag.log"
  wait_for_line "$tag.log" "qelUnivCell::init -- loadModels()" 30 || fail "no start-up"
  local win
  win=$(strata_window) || fail "no window"
  sleep 1
  for _ in $(seq 1 10); do xdotool key Down; sleep 0.2; done
  wait_for_line "$tag.log" "Loading ... : Sound Scape " 10 || fail "Sound Scape not reached"
  xdotool mousemove 639 240 key F1
  sleep 2
  shot "$tag-1.png"
  sleep 0.5
  shot "$tag-2.png"
  end_strata "$win" || fail "exit status $?"
}

STRATA_AUDIO="$PWD/sweep.wav" run_scene wav
grep -qxF "WaveFile is Successfully Opened" wav.log || fail "wave file not opened: $(head -n 5 wav.log)"
[ "$(mean_brightness wav-1.png)" -ge 3 ] || fail "Sound Scape shows nothing"
moving=$(compare -metric AE -fuzz 5% wav-1.png wav-2.png null: 2>&1)
[ "$moving" -gt 500 ] || fail "bars do not follow the sound ($moving pixels changed)"

STRATA_AUDIO=no-such-device run_scene quiet
grep -qxF "Record Failed" quiet.log || fail "no 'Record Failed' without a device"
still=$(compare -metric AE -fuzz 5% quiet-1.png quiet-2.png null: 2>&1)
[ "$still" -lt 100 ] || fail "picture moves without sound ($still pixels changed)"
echo "sound: ok ($moving pixels move with sound, $still without)"
