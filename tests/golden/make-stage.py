#!/usr/bin/env python3
"""Writes the small fixed stage of the golden-picture tests into stage/.

The stage is committed; run this again only to change it (and then update the
references with tools/update-goldens.sh). Everything here is computed, so the
files come out the same on every run. Images are written through
strata-stagegen (see tools/stagegen_sgi.py).
"""
import math
import os
import struct
import subprocess
import sys
import wave
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
import stagegen_sgi  # noqa: E402
STAGE = os.path.join(HERE, "stage")
# Module names in the reactor loader's order: line i selects reactor i.
MODULES = "Waver Tunnel Cloud Waver3D Particles1 MetaballViewer ObjViewer TorusTunnel Flo RippleObjViewer SoundScape " \
    "Wave".split()
# A few keys bound to the reactors' controllers (x in n, y in 64 + n): q 17, w 18, ... g 31.
KEYS = "".join(f"{key} {code}\n" for code, key in enumerate("qwertyuiopasdfg", 17))
SIZE = 64


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w" if isinstance(data, str) else "wb") as f:
        f.write(data)


def sgi(pixel):
    """A verbatim 3-channel SIZE x SIZE SGI image; pixel(x, y) gives (r, g, b), y = 0 at the bottom."""
    rows = [[max(0, min(255, int(c))) for c in pixel(x, y)] for y in range(SIZE) for x in range(SIZE)]
    return stagegen_sgi.sgi(SIZE, SIZE, 3, [rgb[z] for z in range(3) for rgb in rows])


def png(width, height, pixel):
    """An 8-bit RGBA PNG; pixel(x, y) gives (r, g, b, a), y = 0 at the top."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + bytes(max(0, min(255, int(c))) for x in range(width) for c in pixel(x, y))
                    for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def ffmpeg_encode(path, width, height, frames, extra):
    """Encodes RGB frames (a list of bytes objects, top row first) with the ffmpeg program."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "rgb24", "-s", f"{width}x{height}",
                    "-r", "25", "-i", "-"] + extra + [path], input=b"".join(frames), check=True)


def rgb_frame(width, height, pixel):
    return bytes(max(0, min(255, int(c))) for y in range(height) for x in range(width) for c in pixel(x, y))


def rings(x, y):
    v = 0.5 + 0.5 * math.cos(math.hypot(x - SIZE / 2 + 0.5, y - SIZE / 2 + 0.5) * 0.7)
    return (255 * v, 90 + 120 * (1 - v), 255 * (1 - v))


def torus(major=1.0, minor=0.4, rings_n=12, sides=8):
    grid = [(2 * math.pi * i / rings_n, 2 * math.pi * j / sides) for i in range(rings_n) for j in range(sides)]
    lines = ["# small torus for the golden stage"]
    lines += ["v %.5f %.5f %.5f" % ((major + minor * math.cos(v)) * math.cos(u), minor * math.sin(v),
                                    (major + minor * math.cos(v)) * math.sin(u)) for u, v in grid]
    lines += ["vt %.5f %.5f" % (i / rings_n, j / sides) for i in range(rings_n) for j in range(sides)]
    lines += ["vn %.5f %.5f %.5f" % (math.cos(v) * math.cos(u), math.sin(v), math.cos(v) * math.sin(u))
              for u, v in grid]
    idx = lambda i, j: (i % rings_n) * sides + (j % sides) + 1  # noqa: E731
    for i in range(rings_n):
        for j in range(sides):
            a, b, c, d = idx(i, j), idx(i + 1, j), idx(i + 1, j + 1), idx(i, j + 1)
            lines += ["f %d/%d/%d %d/%d/%d %d/%d/%d" % (x, x, x, y, y, y, z, z, z) for x, y, z in ((a, b, c), (a, c, d))]
    return "\n".join(lines) + "\n"


def write_wav(path, seconds=0.75, rate=22050):
    """8-bit stereo sound: a swelling 220 Hz tone on the left, pulses of a
    330 Hz tone on the right, so both levels and the samples move."""
    frames = bytearray()
    for t in (i / rate for i in range(int(seconds * rate))):
        left = 0.8 * math.sin(math.pi * t / seconds) * math.sin(2 * math.pi * 220 * t)
        right = (0.9 if (int(t * 8) % 2 == 0) else 0.15) * math.sin(2 * math.pi * 330 * t)
        frames += bytes((128 + int(round(127 * left)), 128 + int(round(127 * right))))
    with wave.open(path, "wb") as w:
        w.setnchannels(2), w.setsampwidth(1), w.setframerate(rate)
        w.writeframes(bytes(frames))


if __name__ == "__main__":
    write(os.path.join(STAGE, "modules.db"), "".join(name + "\n" for name in MODULES))
    write(os.path.join(STAGE, "key.db"), KEYS)
    write(os.path.join(STAGE, "imgs-golden", "a-checker.rgb"),
          sgi(lambda x, y: (230, 180, 40) if ((x // 8) + (y // 8)) % 2 == 0 else (30, 60, 200)))
    write(os.path.join(STAGE, "imgs-golden", "b-rings.rgb"), sgi(rings))
    write(os.path.join(STAGE, "imgs-golden", "c-stripes.rgb"),
          sgi(lambda x, y: [(240, 60, 60), (60, 240, 120), (250, 250, 250)][((x + 2 * y) // 6) % 3]))
    write(os.path.join(STAGE, "mdls-golden", "torus.obj"), torus())
    write_wav(os.path.join(HERE, "sound.wav"))  # the sound input of the scenes that follow the sound
    # The pictures stage: an .rgb image (the set's size, 64 x 64), a wide PNG
    # with alpha and a smaller JPEG, all in one set.
    media = os.path.join(HERE, "stage-media")
    write(os.path.join(media, "modules.db"), "".join(name + "\n" for name in MODULES))
    write(os.path.join(media, "key.db"), KEYS)
    write(os.path.join(media, "imgs-media", "a-rings.rgb"), sgi(rings))
    write(os.path.join(media, "imgs-media", "b-glow.png"),
          png(96, 48, lambda x, y: (250, 200 - 3 * y, 40 + 2 * x, 255 - min(255, int(6 * math.hypot(x - 48, y - 24))))))
    ffmpeg_encode(os.path.join(media, "imgs-media", "c-bands.jpg"), 40, 40,
                  [rgb_frame(40, 40, lambda x, y: (40 + 5 * y, 220 - 5 * x, 120 + 60 * ((x // 10) % 2)))],
                  ["-frames:v", "1", "-q:v", "3"])
    # A one-second clip of 25 frames, 80 x 48: a white bar moves right one
    # step a frame over a ground whose colour changes, so each frame differs.
    ffmpeg_encode(os.path.join(media, "imgs-media", "d-bar.mp4"), 80, 48,
                  [rgb_frame(80, 48, lambda x, y, n=n: (255, 255, 255) if 3 * n <= x < 3 * n + 6 else
                             (10 * n, 120 + 2 * y, 250 - 10 * n)) for n in range(25)],
                  ["-c:v", "libx264", "-threads", "1", "-preset", "veryslow", "-crf", "30", "-g", "10",
                   "-pix_fmt", "yuv420p", "-movflags", "+faststart", "-map_metadata", "-1", "-fflags", "+bitexact"])
    # One help page, so help mode has something to show.
    write(os.path.join(STAGE, "Reactors", "Waver", "page1.rgb"), sgi(lambda x, y: (40 + 3 * x, 40 + 3 * y, 120)))
