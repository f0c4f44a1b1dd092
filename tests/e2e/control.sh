#!/usr/bin/env bash
# The instrument driven over OSC on loopback: raising layer 1 and changing
# its module shows on the screen; the OSCQuery tree lists the addresses with
# their values; with STRATA_OSC_OUT set a receiver gets the state messages;
# Alt+l arms MIDI learn.
set -uo pipefail
STRATA="$1"; SOURCE="$2"; WORK="$3"
. "$SOURCE/tests/e2e/common.bash"
rm -rf "$WORK"; mkdir -p "$WORK"
trap 'stop_x; [ -n "${RECEIVER_PID:-}" ] && kill "$RECEIVER_PID" 2>/dev/null' EXIT
cd "$WORK"
cp -r "$SOURCE/stage" stage
command -v oscsend >/dev/null || fail "oscsend (liblo-tools) is not installed"
command -v curl >/dev/null || fail "curl is not installed"

PORT=$(free_port)
OUT_PORT=$(free_port)
for _ in 1 2 3; do [ "$OUT_PORT" != "$PORT" ] && break; OUT_PORT=$(free_port); done
[ -n "$PORT" ] && [ -n "$OUT_PORT" ] && [ "$PORT" != "$OUT_PORT" ] || fail "no free loopback ports"
# A receiver bound to loopback that records the paths of what it gets.
python3 - "$OUT_PORT" >received.txt <<'PY' &
import socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", int(sys.argv[1])))
s.settimeout(0.5)
end = time.time() + 40
while time.time() < end:
    try:
        data, _ = s.recvfrom(65536)
    except socket.timeout:
        continue
    print(data.split(b"\0", 1)[0].decode(errors="replace"), flush=True)
PY
RECEIVER_PID=$!

start_x 640x480
export LIBGL_ALWAYS_SOFTWARE=1
export STRATA_OSC="127.0.0.1:$PORT" STRATA_OSC_OUT="127.0.0.1:$OUT_PORT"
start_strata stage out.log
wait_for_line out.log "qelUnivCell::init -- loadModels()" 60 || fail "no start-up: $(tail -n 5 out.log out.log.err)"
win=$(strata_window) || fail "no window"
wait_for_line out.log.err "OSC: listening on 127.0.0.1:$PORT" 10 || fail "OSC not listening: $(cat out.log.err)"
sleep 1
shot dark.png
[ "$(mean_brightness dark.png)" -lt 5 ] || fail "the screen is not dark before OSC"

oscsend 127.0.0.1 $PORT /strata/layer/1/opacity f 1.0
oscsend 127.0.0.1 $PORT /strata/layer/1/module s Tunnel
wait_for_line out.log "Loading ... : Tunnel " 10 || fail "the module did not change: $(tail -n 3 out.log.err)"
sleep 2
shot tunnel.png
[ "$(mean_brightness tunnel.png)" -ge 10 ] || fail "layer 1 shows nothing after OSC"

# The OSCQuery tree, a node and the host information.
curl -sf "http://127.0.0.1:$PORT/" >tree.json || fail "no OSCQuery tree"
python3 - tree.json <<'PY' || fail "OSCQuery tree is wrong: $(head -c 300 tree.json)"
import json, sys
t = json.load(open(sys.argv[1]))
s = t["CONTENTS"]["strata"]["CONTENTS"]
layer = s["layer"]["CONTENTS"]["1"]["CONTENTS"]
assert layer["module"]["VALUE"] == [1], layer["module"]
assert layer["opacity"]["VALUE"][0] > 0.99, layer["opacity"]
assert layer["opacity"]["FULL_PATH"] == "/strata/layer/1/opacity"
assert s["ctl"]["TYPE"] == "iif"
assert s["layer"]["CONTENTS"]["2"]["CONTENTS"]["opacity"]["VALUE"] == [0.0]
for name in ("select", "key", "trail", "midi", "joystick", "learn", "list"):
    assert s[name]["FULL_PATH"] == "/strata/" + name, name
PY
curl -sf "http://127.0.0.1:$PORT/?HOST_INFO" | grep -q "\"OSC_PORT\":$PORT" || fail "HOST_INFO does not name the port"
curl -sf "http://127.0.0.1:$PORT/strata/select?VALUE" | grep -qx '{"VALUE":\[1\]}' || fail "select value"
[ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$PORT/$(head -c 2000 /dev/zero | tr '\0' a)")" = 414 ] ||
  fail "a long request was not refused"

# A bad message is counted, and the instrument runs on.
oscsend 127.0.0.1 $PORT /strata/ctl iii 99 0 0
wait_for_line out.log.err "1 bad messages ignored" 5 || fail "the bad message was not reported"

# The state reaches the receiver.
sleep 1
grep -qx "/strata/level" received.txt || fail "no level messages received"
grep -qx "/strata/layer/1/module" received.txt || fail "no layer messages received"

xdotool key alt+l
wait_for_line out.log.err "MIDI learn: move a control" 5 || fail "Alt+l did not arm learn"
grep -q "MIDI learn" out.log && fail "learn wrote to standard output"

end_strata "$win"
status=$?
[ "$status" -eq 0 ] || fail "exit status $status"
echo "control: ok"
