#!/usr/bin/env bash
# Input latency: from an input's arrival to the end of the frame that shows
# it (after the swap), for keys, OSC packets and MIDI messages.
#   bench/run-latency.sh [STRATA] [COUNT] [FPS] [LAYERS]
# Starts STRATA (default build/strata) on the bundled stage under its own
# Xvfb with Mesa's software renderer, STRATA_LATENCY_LOG and
# STRATA_LATENCY_MIDI=COUNT (default 300), FPS frames a second at most
# (STRATA_FPS, default 60, as a 60 Hz display; 0: no cap), raises LAYERS
# layers (0 to 4, default 4: Waver, Waver 3D, Metaball Viewer, Sound Scape)
# over OSC, switches MIDI on (End), then sends COUNT keys (one xdotool reading
# its commands from a pipe, 'w' 30-60 ms apart) and COUNT OSC packets
# (/strata/ctl on loopback UDP, 20-40 ms apart) while the MIDI messages come
# in through the driver's callback path, and ends it with Esc. Prints the
# median, 99th percentile and largest latency of each kind, measured from the
# arrival in the process (GLUT's key callback, the OSC server's receive, the
# MIDI callback) and, for keys and OSC, from the sender's own CLOCK_MONOTONIC
# before it wrote the key or called sendto; and the frame period of the run.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
strata="$(realpath "${1:-$here/build/strata}")"
exec python3 - "$strata" "${2:-300}" "${3:-60}" "$here/stage" "${4:-4}" <<'PYEOF'
import bisect, os, random, socket, statistics, struct, subprocess, sys, tempfile, threading, time
strata, count, fps, stage, layers = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], int(sys.argv[5])
work = tempfile.mkdtemp(prefix="strata-latency-")
log = os.path.join(work, "latency.log")

def free_port():
    with socket.socket() as t, socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as u:
        t.bind(("127.0.0.1", 0)); u.bind(t.getsockname()); return t.getsockname()[1]

display = next(n for n in range(150, 200) if not os.path.exists(f"/tmp/.X{n}-lock"))
xvfb = subprocess.Popen(["Xvfb", f":{display}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
env = dict(os.environ, DISPLAY=f":{display}", LIBGL_ALWAYS_SOFTWARE="1", STRATA_WINDOWED="1", STRATA_OVERLAY="0",
           STRATA_LATENCY_LOG=log, STRATA_LATENCY_MIDI=str(count), STRATA_FPS=fps)
port = free_port()
env["STRATA_OSC"] = f"127.0.0.1:{port}"
try:
    for _ in range(50):
        if subprocess.run(["xdpyinfo"], env=env, capture_output=True).returncode == 0:
            break
        time.sleep(0.1)
    with open(os.path.join(work, "out.log"), "w") as out, open(os.path.join(work, "err.log"), "w") as err:
        proc = subprocess.Popen([strata], cwd=stage, env=env, stdout=out, stderr=err)
    xdo = lambda *a: subprocess.run(["xdotool", *a], env=env, capture_output=True, text=True).stdout
    # OSC listens and the log is on once this line is out (after the warm-up).
    for _ in range(600):
        if "latency: logging" in open(os.path.join(work, "err.log")).read() or proc.poll() is not None:
            break
        time.sleep(0.1)
    if "latency: logging" not in open(os.path.join(work, "err.log")).read():
        sys.exit(f"strata did not start its latency log: see {work}/err.log")
    started = time.monotonic()
    # The pointer over the window, so that the keys reach it (no window manager).
    xdo("mousemove", "300", "200")
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    def osc(address, types, *args):
        pad = lambda b: b + b"\0" * (4 - len(b) % 4)
        body = b"".join(struct.pack(">i", a) if t == "i" else pad(a.encode()) if t == "s" else struct.pack(">f", a)
                        for t, a in zip(types, args))
        return pad(address.encode()) + pad(("," + types).encode()) + body
    for layer in range(1, layers + 1):
        sock.sendto(osc(f"/strata/layer/{layer}/module", "s", ["Waver", "Waver3D", "MetaballViewer", "SoundScape"][layer - 1]),
                    ("127.0.0.1", port))
        sock.sendto(osc(f"/strata/layer/{layer}/opacity", "f", 0.8), ("127.0.0.1", port))
    warmup_packets = 2 * layers
    keys = subprocess.Popen(["xdotool", "-"], env=env, stdin=subprocess.PIPE, text=True)
    keys.stdin.write("key End\n"); keys.stdin.flush()  # MIDI on
    time.sleep(max(0.0, 5.5 - (time.monotonic() - started)))  # the MIDI feed starts 5 s after the line
    sent = {"key": [], "osc": []}
    def send_keys():
        for _ in range(count):
            sent["key"].append(time.monotonic_ns())
            keys.stdin.write("key w\n"); keys.stdin.flush()
            time.sleep(random.uniform(0.030, 0.060))
    def send_osc():
        for i in range(count):
            packet = osc("/strata/ctl", "iif", 13, 101, (i % 100) / 100.0)
            sent["osc"].append(time.monotonic_ns())
            sock.sendto(packet, ("127.0.0.1", port))
            time.sleep(random.uniform(0.020, 0.040))
    threads = [threading.Thread(target=send_keys), threading.Thread(target=send_osc)]
    for t in threads: t.start()
    for t in threads: t.join()
    time.sleep(max(1.0, count * 0.03 + 5.5 - (time.monotonic() - started)))  # the MIDI feed ends
    keys.stdin.write("key Escape\n"); keys.stdin.close(); keys.wait(10)
    proc.wait(30)
finally:
    xvfb.terminate(); xvfb.wait(10)

arrivals, frames = {"key": [], "midi": [], "osc": []}, []
for line in open(log):
    w = line.split()
    if w[0] == "arrive": arrivals[w[1]].append(int(w[2]))
    elif w[0] == "frame": frames.append(tuple(int(x) for x in w[1:]))
ends = [f[2] for f in frames]
fetch = {"midi": [(f[0], f[2]) for f in frames if f[0]], "osc": [(f[1], f[2]) for f in frames if f[1]]}

def shown_at(kind, t):
    """The end of the frame that applied an input of kind arriving at t (None past the log)."""
    if kind == "key":
        i = bisect.bisect_right(ends, t)
        return ends[i] if i < len(ends) else None
    i = bisect.bisect_right([f for f, _ in fetch[kind]], t)
    return fetch[kind][i][1] if i < len(fetch[kind]) else None

def summary(values):
    v = sorted(values)
    p99 = v[min(len(v) - 1, int(round(0.99 * (len(v) - 1))))]
    return f"{len(v):5d} {statistics.median(v):8.2f} {p99:8.2f} {v[-1]:8.2f}"

rows = []
keys_in = arrivals["key"][1:1 + count]  # End first, Esc last
osc_in = arrivals["osc"][warmup_packets:warmup_packets + count]
for kind, times in (("key", keys_in), ("midi", arrivals["midi"]), ("osc", osc_in)):
    lat = [(shown_at(kind, t) - t) / 1e6 for t in times if shown_at(kind, t)]
    rows.append((f"{kind}: arrival in the process", lat))
for kind, times, sender in (("key", keys_in, sent["key"]), ("osc", osc_in, sent["osc"])):
    if len(times) != len(sender):
        print(f"{kind}: {len(sender)} sent, {len(times)} arrived: no sender figures")
        continue
    lat = [(shown_at(kind, t) - s) / 1e6 for t, s in zip(times, sender) if shown_at(kind, t)]
    rows.append((f"{kind}: sender's timestamp", lat))
lo, hi = min(sent["key"][0], sent["osc"][0]), max(sent["key"][-1], sent["osc"][-1])
periods = [(b - a) / 1e6 for a, b in zip(ends, ends[1:]) if lo <= a <= hi]
period = statistics.median(periods)
print(f"{'from':<34} {'count':>5} {'median':>8} {'p99':>8} {'max':>8}   (ms to the end of the swap; "
      f"median and p99 in median frame periods)")
for name, lat in rows:
    v = sorted(lat)
    print(f"{name:<34} {summary(lat)}   {statistics.median(v) / period:4.2f} {v[int(round(0.99 * (len(v) - 1)))] / period:5.2f}")
print(f"{'frame period in the same run':<34} {summary(periods)}")
print(f"(STRATA_FPS={fps}, {layers} layers raised; the log and the instrument's output are in {work})")
PYEOF
