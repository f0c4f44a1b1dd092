#!/usr/bin/env python3
"""What connected control surfaces cost the picture: the live instrument under
Xvfb with four layers raised, its frame time read each second from
/strata/frame/fps, in turns with no client and with CLIENTS WebSocket clients
that each LISTEN to every readable address, as an open page does.
    bench/surface-cost.py [BUILD_DIR] [ROUNDS] [CLIENTS]
"""
import base64
import json
import os
import shutil
import socket
import struct
import sys
import tempfile
import threading
import time
import urllib.request

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.dirname(here)
build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build")
rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 4
clients = int(sys.argv[3]) if len(sys.argv) > 3 else 8
sys.argv = [sys.argv[0], "surface-cost", os.path.join(build, "strata"), root, tempfile.mkdtemp()]
sys.path.insert(0, os.path.join(root, "tests", "e2e"))
import driver as d  # noqa: E402


def get(port, path):
    with urllib.request.urlopen(f"http://127.0.0.1:{port}{path}", timeout=5) as r:
        return json.load(r)


def readable(node, found):
    if node.get("ACCESS", 0) & 1 and "VALUE" in node:
        found.append(node["FULL_PATH"])
    for child in node.get("CONTENTS", {}).values():
        readable(child, found)
    return found


def frame(opcode, payload):
    """A masked client frame (the mask is zero: the bytes go as they are)."""
    size = len(payload)
    head = bytes([0x80 | opcode]) + (bytes([0x80 | size]) if size < 126 else bytes([0xFE]) + struct.pack(">H", size))
    return head + b"\0\0\0\0" + payload


def page(port, paths, stop):
    s = socket.create_connection(("127.0.0.1", port), timeout=5)
    key = base64.b64encode(os.urandom(16)).decode()
    s.sendall(f"GET / HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
              f"Sec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n".encode())
    d.check(b" 101 " in s.recv(4096), "no WebSocket upgrade")
    for path in paths:
        s.sendall(frame(1, json.dumps({"COMMAND": "LISTEN", "DATA": path}).encode()))
    s.settimeout(0.2)
    while not stop.is_set():
        try:
            if not s.recv(65536):
                break
        except socket.timeout:
            pass
    s.close()


def measure(port, seconds):
    """Mean frame time in ms over the whole seconds of the phase (the first two left out)."""
    fps = []
    for second in range(seconds):
        time.sleep(1)
        if second >= 2:
            fps.append(get(port, "/strata/frame/fps")["VALUE"][0])
    return 1000.0 * len(fps) / sum(fps)


def main():
    os.chdir(d.WORK)
    os.environ["LIBGL_ALWAYS_SOFTWARE"] = "1"
    shutil.copytree(os.path.join(root, "stage"), "stage")
    d.start_x("1024x768")
    port = d.free_ports(1)[0]
    strata = d.Strata("strata", wait=60, STRATA_OSC=f"127.0.0.1:{port}")
    strata.expect(f"OSC: listening on 127.0.0.1:{port}", "OSC not listening", err=True)
    for layer, module in ((1, "Tunnel"), (2, "Cloud"), (3, "Particles1"), (4, "Wave")):
        d.osc(port, f"/strata/layer/{layer}/module s {module}", f"/strata/layer/{layer}/opacity f 0.8",
              f"/strata/layer/{layer}/shown T")
    paths = readable(get(port, "/"), [])
    time.sleep(3)
    rows = []
    for _ in range(rounds):
        alone = measure(port, 8)
        stop = threading.Event()
        threads = [threading.Thread(target=page, args=(port, paths, stop)) for _ in range(clients)]
        for t in threads:
            t.start()
        time.sleep(1)
        watched = measure(port, 8)
        stop.set()
        for t in threads:
            t.join()
        rows.append((alone, watched))
        print(f"frame ms: none {alone:6.2f}   {clients} clients {watched:6.2f}   ratio {watched / alone:5.3f}")
    ratios = sorted(w / a for a, w in rows)
    print(f"{len(paths)} addresses listened by each client; median ratio {ratios[len(ratios) // 2]:.3f}")
    strata.end()


main()
