# Shared helpers of the end-to-end tests (sourced, not run as a test).
# Every test runs the real instrument under its own Xvfb server.

fail() { echo "FAIL: $*" >&2; exit 1; }

# start_x WIDTHxHEIGHT: starts Xvfb on a free display and exports DISPLAY.
start_x() {
  local size="$1" n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X${n}-lock" ] && continue
    Xvfb ":$n" -screen 0 "${size}x24" -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 1 50); do
      if xdpyinfo -display ":$n" >/dev/null 2>&1; then export DISPLAY=":$n"; return 0; fi
      sleep 0.1
    done
    kill "$XVFB_PID" 2>/dev/null || true
  done
  fail "no Xvfb display could be started"
}

stop_x() { [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null; wait "$XVFB_PID" 2>/dev/null || true; }

# start_strata WORKDIR LOG [args...]: starts the instrument in WORKDIR. The
# operator view stays hidden (it would be in every screenshot of the first
# seconds) unless the caller sets STRATA_OVERLAY, and no OSC server listens
# (a developer's own instrument may hold port 9000) unless the caller sets
# STRATA_OSC.
start_strata() {
  local dir="$1" log="$2"; shift 2
  case "$log" in /*) ;; *) log="$PWD/$log" ;; esac
  (cd "$dir" && STRATA_OVERLAY="${STRATA_OVERLAY:-0}" STRATA_OSC="${STRATA_OSC:-off}" exec "$STRATA" "$@" >"$log" 2>"$log.err") &
  STRATA_PID=$!
}

# wait_for_line LOG TEXT SECONDS
wait_for_line() {
  local log="$1" text="$2" limit="$3" i
  for i in $(seq 1 $((limit * 10))); do
    grep -qF -- "$text" "$log" 2>/dev/null && return 0
    kill -0 "$STRATA_PID" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# strata_window: the id of the instrument's window.
strata_window() {
  local w
  for _ in $(seq 1 100); do
    w=$(xdotool search --onlyvisible --name '^Strata$' 2>/dev/null | head -n 1)
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.1
  done
  return 1
}

# shot FILE: a screenshot of the whole screen.
shot() { import -window root "$1"; }

# mean_brightness FILE [GEOMETRY]: mean grey level 0..255 of the picture or a region.
mean_brightness() {
  local file="$1" crop="${2:-}"
  if [ -n "$crop" ]; then
    convert "$file" -crop "$crop" +repage -colorspace Gray -format '%[fx:int(255*mean)]' info:
  else
    convert "$file" -colorspace Gray -format '%[fx:int(255*mean)]' info:
  fi
}

# end_strata: Esc, then the exit status (waits at most 10 s).
end_strata() {
  local win="$1"
  xdotool key Escape
  for _ in $(seq 1 100); do
    kill -0 "$STRATA_PID" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$STRATA_PID" 2>/dev/null; then kill -9 "$STRATA_PID"; fail "strata did not end on Esc"; fi
  wait "$STRATA_PID"
}

# write_modules FILE: the twelve modules in the loader's order.
write_modules() {
  printf '%s\n' Waver Tunnel Cloud Waver3D Particles1 MetaballViewer ObjViewer TorusTunnel Flo \
    RippleObjViewer SoundScape Wave >"$1"
}

# free_port: prints a loopback port that is free for both UDP and TCP right
# now (the OSC server takes both), so that suites running side by side on one
# machine never reach for the same fixed port.
free_port() {
  python3 - <<'PY'
import socket
for _ in range(100):
    t = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    t.bind(("127.0.0.1", 0))
    port = t.getsockname()[1]
    u = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    try:
        u.bind(("127.0.0.1", port))
    except OSError:
        t.close()
        continue
    u.close()
    t.close()
    print(port)
    break
PY
}
