#!/usr/bin/env bash
# The instrument starts in a working directory, logs its start-up lines in
# order, raises cell 0 with F1 (letterboxed on a larger screen), and ends with
# status 0 on Esc.
set -uo pipefail
STRATA="$1"; SOURCE="$2"; WORK="$3"
. "$SOURCE/tests/e2e/common.bash"
rm -rf "$WORK"; mkdir -p "$WORK/stage"
trap 'stop_x' EXIT
cd "$WORK"
printf 'a 21\nq 17\n' >stage/key.db
write_modules stage/modules.db
cp -r "$SOURCE/stage/imgs" stage/imgs

start_x 1280x1024
export LIBGL_ALWAYS_SOFTWARE=1
start_strata stage out.log
wait_for_line out.log "qelUnivCell::init -- loadModels()" 30 || fail "no start-up: $(tail -n 5 out.log out.log.err)"
win=$(strata_window) || fail "no window"
sleep 1

head -n 3 out.log >head.txt
[ "$(sed -n 1p out.log)" = "Glut API Version 3" ] || fail "first line is '$(sed -n 1p out.log)'"
[ "$(sed -n 2p out.log)" = "Keybind Override :: a 97 to 21" ] || fail "second line is '$(sed -n 2p out.log)'"
[ "$(sed -n 3p out.log)" = "Keybind Override :: q 113 to 17" ] || fail "third line is '$(sed -n 3p out.log)'"
[ "$(grep -c '^qelCell::setReactor 0 ' out.log)" -eq 11 ] || fail "not eleven cells"

# Nothing raised: only the fade, a black picture.
shot before.png
[ "$(mean_brightness before.png)" -le 2 ] || fail "picture not black before any key"

# F1 with the mouse at the right edge raises cell 0 to full opacity.
xdotool mousemove 1279 512
sleep 0.3
xdotool key F1
sleep 2
shot raised.png
lit=$(mean_brightness raised.png 1280x960+0+32)
[ "$lit" -ge 10 ] || fail "cell 0 raised but picture stays dark (mean $lit)"
# Letterboxed, not stretched: the bars above and below stay black.
[ "$(mean_brightness raised.png 1280x30+0+0)" -le 1 ] || fail "top bar not black"
[ "$(mean_brightness raised.png 1280x30+0+994)" -le 1 ] || fail "bottom bar not black"

# F1 at the left edge hides it again.
xdotool mousemove 0 512
sleep 0.3
xdotool key F1
sleep 2
shot hidden.png
[ "$(mean_brightness hidden.png 1280x960+0+32)" -le 2 ] || fail "cell 0 still visible after F1 at the left edge"

end_strata "$win"
status=$?
[ "$status" -eq 0 ] || fail "exit status $status"
echo "startup: ok"
