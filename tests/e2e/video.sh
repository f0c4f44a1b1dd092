#!/usr/bin/env bash
# strata-render --video: an H.264 (yuv420p) video at 1000 / frame-ms frames
# per second, right side up, with the --wav sound muxed in; a clear error
# when ffmpeg is missing.
set -uo pipefail
STRATA="$1"; SOURCE="$2"; WORK="$3"
RENDER="$(dirname "$STRATA")/strata-render"
. "$SOURCE/tests/e2e/common.bash"
rm -rf "$WORK"; mkdir -p "$WORK"
cd "$WORK"
command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null || fail "ffmpeg is not installed (tools/setup.sh --test)"

# Cell 0 raised as Sound Scape on the golden sound; 60 frames of 40 ms: 2.4 s at 25 frames per second.
{ echo "0 ctl 11 19 0"; echo "0 key F1 639 240"; for _ in $(seq 1 10); do echo "0 key Down"; done; } >show.txt
"$RENDER" "$SOURCE/tests/golden/stage" --script show.txt --wav "$SOURCE/tests/golden/sound.wav" --frames 60 \
  --frame-ms 40 --png-frames 59 --out png --video out.mp4 --quiet 2>render.err || fail "render failed: $(tail -n 3 render.err)"
probe() { ffprobe -v error -select_streams "$1" -show_entries "$2" -of default=nw=1:nk=1 out.mp4; }
[ "$(probe v stream=codec_name)" = h264 ] || fail "video stream is not H.264"
[ "$(probe v stream=pix_fmt)" = yuv420p ] || fail "pixel format is not yuv420p"
[ "$(probe v stream=width),$(probe v stream=height)" = "640,480" ] || fail "picture is not 640x480"
[ "$(probe v stream=r_frame_rate)" = "25/1" ] || fail "frame rate $(probe v stream=r_frame_rate), not 25/1"
[ "$(probe v stream=nb_frames)" = 60 ] || fail "$(probe v stream=nb_frames) video frames, not 60"
[ "$(probe a stream=codec_name)" = aac ] || fail "no AAC sound stream"
duration=$(ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 out.mp4)
awk -v d="$duration" 'BEGIN { exit !(d > 2.3 && d < 2.6) }' || fail "duration $duration s, not about 2.4 s"
# Right side up: the last video frame looks like the PNG of frame 59 (lossy, so by a loose measure).
ffmpeg -v error -i out.mp4 -vf "select=eq(n\\,59)" -frames:v 1 -y last.png || fail "cannot read the last video frame back"
diff=$(compare -metric RMSE last.png png/frame-000059.png null: 2>&1 | sed 's/.*(\(.*\))/\1/')
flipped=$(convert png/frame-000059.png -flip png:- | compare -metric RMSE last.png - null: 2>&1 | sed 's/.*(\(.*\))/\1/')
awk -v a="$diff" -v b="$flipped" 'BEGIN { exit !(a < 0.08 && a < b) }' || fail "video frame differs from the picture (RMSE $diff, flipped $flipped)"

# Without ffmpeg on the path: one clear line and status 1, before any frame.
PATH=/nonexistent "$RENDER" "$SOURCE/tests/golden/stage" --frames 5 --video none.mp4 --quiet 2>missing.err
status=$?
[ "$status" -eq 1 ] || fail "status $status without ffmpeg"
grep -qF "strata-render: --video needs ffmpeg, which is not installed" missing.err || fail "no clear error: $(cat missing.err)"
[ -e none.mp4 ] && fail "a video file appeared without ffmpeg"
echo "video: ok (h264 yuv420p 640x480 25 fps, $duration s, aac sound)"
