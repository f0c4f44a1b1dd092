"""The steps of the end-to-end scenarios (scenarios.py): the instrument under
its own Xvfb server, lines awaited in its output, keys pressed with xdotool,
screenshots measured with ImageMagick. The first failed check ends a scenario
with one line starting with FAIL."""
import atexit
import filecmp
import os
import re
import shutil
import socket
import struct
import subprocess
import sys
import time

NAME, STRATA, SOURCE, WORK = sys.argv[1], *(os.path.abspath(a) for a in sys.argv[2:5])
RENDER = os.path.join(os.path.dirname(STRATA), "strata-render")
GOLDEN = os.path.join(SOURCE, "tests", "golden")
MODULES = "Waver Tunnel Cloud Waver3D Particles1 MetaballViewer ObjViewer TorusTunnel Flo RippleObjViewer SoundScape " \
    "Wave".split()
sleep = time.sleep


def check(ok, why):
    if not ok:
        sys.exit(f"FAIL: {why}")


def run(*args, env=None, merge=False):
    """A command run to its end, its output kept as text."""
    return subprocess.run([str(a) for a in args], stdout=subprocess.PIPE, text=True, errors="replace",
                          stderr=subprocess.STDOUT if merge else subprocess.PIPE, env={**os.environ, **(env or {})})


def out(*args):
    return run(*args).stdout.strip()


def text(path):
    return open(path, errors="replace").read() if os.path.isfile(path) else ""


def lines(path):
    return text(path).splitlines()


def tail(path, n=5):  # the last lines of a file, for a failure's message
    return " | ".join(lines(path)[-n:])


def write(path, data):
    with open(path, "wb" if isinstance(data, bytes) else "w") as f:
        f.write(data)


def found(path, pattern):
    """The lines of a file in which a regular expression matches."""
    return [line for line in lines(path) if re.search(pattern, line)]


def has_lines(path, *wanted):
    for line in wanted:
        check(line in lines(path), f"{os.path.basename(path)} lacks the line '{line}': {tail(path, 20)}")


def same_files(a, b):
    return os.path.isfile(a) and os.path.isfile(b) and filecmp.cmp(a, b, shallow=False)


def free_ports(n):
    """Loopback ports free for both UDP and TCP right now (the OSC server
    takes both), so that suites side by side never reach for the same one."""
    ports = set()
    while len(ports) < n:
        with socket.socket() as t, socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as u:
            t.bind(("127.0.0.1", 0))
            try:
                u.bind(t.getsockname())
                ports.add(t.getsockname()[1])
            except OSError:
                pass
    return list(ports)


def start_x(size):
    """Xvfb on a free display, which becomes DISPLAY; it ends (with SIGTERM,
    which lets it remove its lock file) with the scenario."""
    for n in (n for n in range(90, 141) if not os.path.exists(f"/tmp/.X{n}-lock")):
        xvfb = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", size + "x24", "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        stop = lambda: (xvfb.terminate(), xvfb.wait(10))  # noqa: E731
        for _ in range(50):
            if run("xdpyinfo", "-display", f":{n}").returncode == 0:
                os.environ["DISPLAY"] = f":{n}"
                return atexit.register(stop)
            sleep(0.1)
        stop()
    check(False, "no Xvfb display could be started")


def press(*keys, at=None, wait=0.0, delay=12):
    """The keys pressed in turn, delay ms apart (with the mouse moved to at first), then a pause."""
    run("xdotool", *(["mousemove", *at] if at else []), *(["key", "--delay", delay, *keys] if keys else []))
    sleep(wait)


def shot(path):
    """A screenshot of the whole screen."""
    run("import", "-window", "root", path)
    return path


def brightness(picture, crop=None):
    """The mean grey level 0..255 of a picture, or of a region of it."""
    region = ["-crop", crop, "+repage"] if crop else []
    return int(out("convert", picture, *region, "-colorspace", "Gray", "-format", "%[fx:int(255*mean)]", "info:"))


def changed(a, b, fuzz):
    """The number of pixels of two pictures that differ by more than fuzz %."""
    return float(run("compare", "-metric", "AE", "-fuzz", f"{fuzz}%", a, b, "null:").stderr.split()[0])


def letterboxed(picture, what):
    """A picture lit in its 4:3 middle of a 1280x1024 screen, the bars black."""
    check(brightness(picture, "1280x960+0+32") >= 10, f"{what}: picture dark")
    check(max(brightness(picture, f"1280x30+0+{y}") for y in (0, 994)) <= 1, f"{what}: bars not black")


def osc(port, *messages):
    """OSC messages ("address types values...") sent to the loopback port by oscsend."""
    for message in messages:
        check(run("oscsend", "127.0.0.1", port, *message.split()).returncode == 0, f"oscsend {message} failed")


def osc_packet(message):
    """One OSC message ("address types values...") as bytes."""
    pad = lambda b: b + b"\0" * (4 - len(b) % 4)  # noqa: E731
    address, types, *values = message.split() + [""][:len(message.split()) < 2]
    body = b"".join(struct.pack(">i", int(v)) if t == "i" else struct.pack(">f", float(v)) if t == "f" else
                    pad(v.encode()) for t, v in zip(types.replace("T", "").replace("F", ""), values))
    return pad(address.encode()) + pad(b"," + types.encode()) + body


def ws_osc(port, *messages):
    """OSC messages sent over the web server's WebSocket, as the control surface sends them."""
    with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
        s.sendall(f"GET / HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                  "Sec-WebSocket-Key: c3RyYXRhIHN0cmF0YSAxMg==\r\nSec-WebSocket-Version: 13\r\n\r\n".encode())
        check(b" 101 " in s.recv(4096), "no WebSocket upgrade")
        for m in messages:  # masked binary frames with a zero mask
            p = osc_packet(m)
            s.sendall(bytes([0x82, 0x80 | len(p)]) + b"\0\0\0\0" + p)
        s.sendall(b"\x88\x80\0\0\0\0")


class Strata:
    """The instrument started in a stage directory, its output in TAG.log and
    TAG.log.err, awaited (unless wait is 0) up to its first frame and window.
    No overlay (it would be in every screenshot) and no OSC server (a
    developer's own instrument may hold port 9000) unless env says otherwise."""

    def __init__(self, tag, stage="stage", wait=30, **env):
        self.tag, self.log, self.err = tag, f"{WORK}/{tag}.log", f"{WORK}/{tag}.log.err"
        env = {"STRATA_OVERLAY": "0", "STRATA_OSC": "off", **env}
        with open(self.log, "w") as log, open(self.err, "w") as err:
            self.proc = subprocess.Popen([STRATA], cwd=stage, stdout=log, stderr=err, env={**os.environ, **env})
        atexit.register(lambda: self.proc.poll() is None and self.proc.kill())
        if wait:
            self.expect("qelUnivCell::init -- loadModels()", f"{tag}: no start-up: {tail(self.err)}", wait)
            for _ in range(100):
                self.win = out("xdotool", "search", "--onlyvisible", "--name", "^Strata$").split()[:1]
                if self.win:
                    break
                sleep(0.1)
            check(self.win, f"{tag}: no window")
            self.win = self.win[0]
            sleep(1)

    def alive(self):
        return self.proc.poll() is None

    def expect(self, line, why, seconds=10, err=False, times=1):
        """The text shown (times times) in the output, standard error if err, within seconds."""
        for _ in range(int(seconds * 10)):
            if text(self.err if err else self.log).count(line) >= times:
                return
            check(self.alive(), f"{why} (strata ended)")
            sleep(0.1)
        check(False, why)

    def after(self, key, line, why, err=False):
        """The key pressed, then one more line with the text awaited for up to 10 s."""
        times = text(self.err if err else self.log).count(line) + 1
        press(key)
        self.expect(line, why, err=err, times=times)

    def status(self, seconds=10):
        """The exit status once it ends by itself within seconds."""
        try:
            return self.proc.wait(seconds)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            check(False, f"{self.tag}: still running after {seconds} s")

    def end(self):
        """Esc, and an exit status of 0 within 10 s."""
        press("Escape")
        status = self.status()
        check(status == 0, f"{self.tag}: exit status {status} after Esc")


def main(scenarios):
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    os.chdir(WORK)
    os.environ["LIBGL_ALWAYS_SOFTWARE"] = "1"
    summary = scenarios[NAME]()
    print(f"{NAME}: ok" + (f" ({summary})" if summary else ""))
