#!/usr/bin/env python3
"""Writes the small fixed stage of the golden-picture tests into stage/.

The stage is committed; run this again only to change it (and then update the
references with tools/update-goldens.sh). Everything here is computed, so the
files come out the same on every run. Images are written through
strata-stagegen (see tools/stagegen_sgi.py).
"""
import math
import os
import sys
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
import stagegen_sgi  # noqa: E402
STAGE = os.path.join(HERE, "stage")

# Module names in the reactor loader's order: line i selects reactor i.
MODULES = ["Waver", "Tunnel", "Cloud", "Waver3D", "Particles1", "MetaballViewer", "ObjViewer",
           "TorusTunnel", "Flo", "RippleObjViewer", "SoundScape", "Wave"]

# A few keys bound to the reactors' controllers (x in n, y in 64 + n).
KEYS = [("q", 17), ("w", 18), ("e", 19), ("r", 20), ("t", 21), ("y", 22), ("u", 23), ("i", 24),
        ("o", 25), ("p", 26), ("a", 27), ("s", 28), ("d", 29), ("f", 30), ("g", 31)]

SIZE = 64


def write_sgi(path, width, height, pixel):
    """Verbatim SGI image, 3 channels; pixel(x, y) gives (r, g, b), y = 0 at the bottom."""
    planes = [bytearray(), bytearray(), bytearray()]
    for y in range(height):
        for x in range(width):
            rgb = pixel(x, y)
            for z in range(3):
                planes[z].append(max(0, min(255, int(rgb[z]))))
    with open(path, "wb") as f:
        f.write(stagegen_sgi.sgi(width, height, 3, planes[0] + planes[1] + planes[2]))


def checker(x, y):
    on = ((x // 8) + (y // 8)) % 2 == 0
    return (230, 180, 40) if on else (30, 60, 200)


def rings(x, y):
    d = math.hypot(x - SIZE / 2 + 0.5, y - SIZE / 2 + 0.5)
    v = 0.5 + 0.5 * math.cos(d * 0.7)
    return (255 * v, 90 + 120 * (1 - v), 255 * (1 - v))


def stripes(x, y):
    v = ((x + 2 * y) // 6) % 3
    return [(240, 60, 60), (60, 240, 120), (250, 250, 250)][v]


def write_torus(path, major=1.0, minor=0.4, rings_n=12, sides=8):
    grid = [(2 * math.pi * i / rings_n, 2 * math.pi * j / sides) for i in range(rings_n) for j in range(sides)]
    lines = ["# small torus for the golden stage"]
    lines += ["v %.5f %.5f %.5f" % ((major + minor * math.cos(v)) * math.cos(u), minor * math.sin(v),
                                    (major + minor * math.cos(v)) * math.sin(u)) for u, v in grid]
    lines += ["vt %.5f %.5f" % (i / rings_n, j / sides) for i in range(rings_n) for j in range(sides)]
    lines += ["vn %.5f %.5f %.5f" % (math.cos(v) * math.cos(u), math.sin(v), math.cos(v) * math.sin(u))
              for u, v in grid]

    def idx(i, j):
        return (i % rings_n) * sides + (j % sides) + 1

    for i in range(rings_n):
        for j in range(sides):
            a, b, c, d = idx(i, j), idx(i + 1, j), idx(i + 1, j + 1), idx(i, j + 1)
            lines += ["f %d/%d/%d %d/%d/%d %d/%d/%d" % (x, x, x, y, y, y, z, z, z)
                      for x, y, z in ((a, b, c), (a, c, d))]
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def write_wav(path, seconds=0.75, rate=22050):
    """8-bit stereo sound: a swelling 220 Hz tone on the left, pulses of a
    330 Hz tone on the right, so both levels and the samples move."""
    frames = bytearray()
    count = int(seconds * rate)
    for i in range(count):
        t = i / rate
        left = 0.8 * math.sin(math.pi * t / seconds) * math.sin(2 * math.pi * 220 * t)
        right = (0.9 if (int(t * 8) % 2 == 0) else 0.15) * math.sin(2 * math.pi * 330 * t)
        frames.append(128 + int(round(127 * left)))
        frames.append(128 + int(round(127 * right)))
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(1)
        w.setframerate(rate)
        w.writeframes(bytes(frames))


def main():
    os.makedirs(os.path.join(STAGE, "imgs-golden"), exist_ok=True)
    os.makedirs(os.path.join(STAGE, "mdls-golden"), exist_ok=True)
    with open(os.path.join(STAGE, "modules.db"), "w") as f:
        f.write("".join(name + "\n" for name in MODULES))
    with open(os.path.join(STAGE, "key.db"), "w") as f:
        f.write("".join("%s %d\n" % (k, code) for k, code in KEYS))
    write_sgi(os.path.join(STAGE, "imgs-golden", "a-checker.rgb"), SIZE, SIZE, checker)
    write_sgi(os.path.join(STAGE, "imgs-golden", "b-rings.rgb"), SIZE, SIZE, rings)
    write_sgi(os.path.join(STAGE, "imgs-golden", "c-stripes.rgb"), SIZE, SIZE, stripes)
    write_torus(os.path.join(STAGE, "mdls-golden", "torus.obj"))
    # Sound input for the scenes of the reactors that follow the sound.
    write_wav(os.path.join(HERE, "sound.wav"))
    # One help page, so help mode has something to show.
    os.makedirs(os.path.join(STAGE, "Reactors", "Waver"), exist_ok=True)
    write_sgi(os.path.join(STAGE, "Reactors", "Waver", "page1.rgb"), SIZE, SIZE,
              lambda x, y: (40 + 3 * x, 40 + 3 * y, 120))


if __name__ == "__main__":
    main()
