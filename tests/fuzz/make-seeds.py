#!/usr/bin/env python3
"""Writes the small seed files of the fuzz corpora (tests/fuzz/corpus/): the
shapes the unit tests read (SGI files of one to four channels in verbatim and
run-length storage, OBJ files with every kind of line and face, key.db and
modules.db files, show scripts, short wave files). The output is deterministic
(the SGI files come from strata-stagegen, see tools/stagegen_sgi.py)."""
import io
import math
import os
import struct
import subprocess
import sys
import wave
import zlib

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "tools"))
from stagegen_sgi import sgi  # noqa: E402


def out(corpus, name, data):
    os.makedirs(os.path.join(here, "corpus", corpus), exist_ok=True)
    with open(os.path.join(here, "corpus", corpus, name), "wb") as f:
        f.write(data.encode() if isinstance(data, str) else data)


# SGI reader
out("sgireader", "rgb-2x2-verbatim.rgb", sgi(2, 2, 3, [10, 20, 30, 40] + [0] * 4 + [255] * 4))
out("sgireader", "grey-5x1-runlength.rgb", sgi(5, 1, 1, [7, 7, 7, 1, 2], rle=True))
out("sgireader", "grey-alpha-3x2.rgb", sgi(3, 2, 2, list(range(6)) + [128] * 6))
out("sgireader", "rgba-4x3-runlength.rgb", sgi(4, 3, 4, [(i * 37) % 256 for i in range(4 * 3 * 4)], rle=True))
out("sgireader", "rgb-8x4-runlength.rgb", sgi(8, 4, 3, [(i // 5) % 7 for i in range(8 * 4 * 3)], rle=True))
out("sgireader", "bad-magic-1x1.rgb", sgi(1, 1, 1, [99], magic=1234))
out("sgireader", "truncated-runlength.rgb", sgi(6, 2, 1, [1, 1, 1, 1, 2, 3] * 2, rle=True)[:-5])
out("sgireader", "header-only.rgb", sgi(4, 4, 3, [0] * 48)[:12])
out("sgireader", "five-channels-2x1.rgb", sgi(2, 1, 5, [1, 2, 3, 4, 5, 6, 7, 8, 9, 10]))

# OBJ reader
square = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 0 1\n"
out("objmodel", "square.obj", square + "f 1/1/1 2/2/1 3/3/1 4/4/1\n")
out("objmodel", "kinds-of-lines.obj",
    "# comment v 9 9 9\nmtllib x.mtl\nusemtl red\ng group\no object\ns 1\n v 5 5 5\nvp 1 2 3\n" + square +
    "f 1 2 3\nf 1//1 2//1 3//1\nf 1/1 2/2 3/3 4/4\nvt 0.5 0.25\n")
out("objmodel", "bad-indices.obj",
    square + "f 1 2 5\nf -1 -2 -3\nf 0 1 2\nf 1/5 2/1 3/1\nf 1//2 2//1 3//1\nf x y z\nf 1 2 3 9\nf 1/ 2/ 3/\r\n")
out("objmodel", "pentagon-crlf.obj", "v 0 0 0\r\nv 1 0 0\r\nv 1 1 0\r\nv 0 1 1\r\nv -1 0.5 2\r\nf 1 2 3 4 5")
out("objmodel", "long-lines.obj",
    "v 1.5 2.5 3.5" + " " * 100 + "9\nv 0 1 0\nv 2 0 0\nf " + " ".join(str(1 + i % 3) for i in range(40)) + "\n")
out("objmodel", "huge-values.obj", "v 3e38 -3e38 1e-45\nv -3e38 3e38 nan\nv inf 0 0\nf 1 2 3\n")

# sound.map
out("soundmap", "every-source.map",
    "onset -> 0 21 attack 5 decay 80\nbeat -> selected 21 decay 200\nbar -> 1 7\nphase -> 2 22 curve exp\n"
    "barphase -> 2 23\ntempo -> 3 9 range 0.9 0.1\nconfidence -> 3 10\nband low -> 2 22 range 0.3 0.9\n"
    "band mid -> 4 5 smooth 40\nband high -> 4 6\nlevel -> 5 7 curve log\nlfo sine 1/2 -> 0 7 range 0.5 1\n"
    "lfo random 16 phase 0.5 -> 6 30\nlfo square 1/16 -> 7 31 # comment\n")
out("soundmap", "bad-lines.map",
    "beat -> 0\nband bass -> 0 7\nlfo saw 1/32 -> 0 7\nlevel -> 0 7 decay 5\nlfo sine 0/0 -> 1 1\n"
    "beat -> 16 7\nonset -> 0 7 smooth 1e9\n" + "x" * 300 + "\n")

# key.db
out("keydb", "bindings.db", "a 21\nq 17\nZ 105\nh 21\n3 3\n")
out("keydb", "odd-lines.db", "\n\nx\nb  \t -7\r\nc 99999999999\n\x00 5\n\xe9 40\nd 1x\n" + "e " + "1" * 100 + "\n")

# modules.db
out("modulesdb", "twelve.db", "Waver\nTunnel\nCloud\nWaver3D\nParticles1\nMetaballViewer\nObjViewer\n"
    "TorusTunnel\nFlo\nRippleObjViewer\nSoundScape\nWave\n")
out("modulesdb", "blanks-and-words.db", "\nTunnel and more words\r\n\n   \t\nWaver3D\n\n  \n" + "L" * 90 + "\n%s%n\n")

# show scripts of the offline renderer
out("showscript", "keys-and-controls.show",
    "# a comment\n0  key F1 639 240      # raise cell 0\n0 key Down\n0 ctl 11 19 0\n30 midi 0xB0 22 100\n"
    "12 key a 10 20\n12 key Esc\n5 key PageDown\n5 key Hash 0 479\n\r\n\t\n")
out("showscript", "bad-line.show", "0 key F1\n1 ctl 16 0 0\n")


# sound files
def wav(channels, width, rate, frames):
    f = io.BytesIO()
    with wave.open(f, "wb") as w:
        w.setnchannels(channels), w.setsampwidth(width), w.setframerate(rate)
        w.writeframes(frames)
    return f.getvalue()


def float_wav(channels, rate, values):
    data = struct.pack("<%df" % len(values), *values)
    fmt = struct.pack("<HHIIHH", 3, channels, rate, rate * 4 * channels, 4 * channels, 32)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


tone = [math.sin(i * 0.3) for i in range(64)]
out("wavfile", "u8-stereo-22050.wav", wav(2, 1, 22050, bytes(128 + int(100 * v) for v in tone for _ in (0, 1))))
out("wavfile", "s16-mono-44100.wav", wav(1, 2, 44100, struct.pack("<64h", *(int(20000 * v) for v in tone))))
out("wavfile", "s24-stereo-8000.wav",
    wav(2, 3, 8000, b"".join(struct.pack("<i", int(4e6 * v))[:3] * 2 for v in tone)))
out("wavfile", "float-stereo-48000.wav", float_wav(2, 48000, [v for v in tone for _ in (0, 1)] + [float("nan"), 4.0]))
out("showscript", "recording.show",
    "# a live recording\n0 uptime 990506\n0 sound 12\n1 ms 16\n1 sound\n2 key 0x12 1 2\n2 special 112 5 6\n"
    "3 midiin 0xB0 22 100\n"
    "3 joy 52767 20767 2\n4 set 4 73 44 0.100000001\n5 scene scene-000005.scene 400\n6 scene 3\n7 end\n")
out("showscript", "control-bus.show",
    "# a show played from a control surface\n0 ms 16\n0 osc /strata/layer/1/opacity 1.00000000\n"
    "0 osc /strata/layer/1/module 2\n1 osc /strata/ctl 1 20 0.500000000\n1 osc /strata/ctl 0 7 127\n"
    "2 mapped 2 30 100 0.574803174\n2 osc /strata/key 0x37 100 400\n2 osc /strata/key F3 600 100\n"
    "3 osc /strata/select 12\n3 osc /strata/trail 4.00000000e-01\n3 osc /strata/midi 1\n"
    "4 scene scene-000004.scene 0 bus\n4 osc /strata/scene/recall 3\n5 osc /strata/layer/2/imageset 1\n6 end\n")

# PNG and JPEG readers: the golden stage's pictures (its generator writes
# them), a small grey PNG with a palette-free filter mix and a cut JPEG.
media = os.path.join(here, "..", "golden", "stage-media", "imgs-media")
for name in ("b-glow.png", "c-bands.jpg"):
    with open(os.path.join(media, name), "rb") as f:
        data = f.read()
    out("picturereader", name, data)
    out("picturereader", "cut-" + name, data[: len(data) * 2 // 3])


def grey_png(width, height):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    rows = b"".join(bytes([y % 5]) + bytes((x * 9 + y) % 256 for x in range(width)) for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


out("picturereader", "grey-7x5.png", grey_png(7, 5))

# Clip decoder: the golden stage's clip, a cut copy and a small VP8 clip in WebM.
with open(os.path.join(media, "d-bar.mp4"), "rb") as f:
    clip = f.read()
out("clipdecoder", "bar.mp4", clip)
out("clipdecoder", "cut-bar.mp4", clip[:1500])
subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "color=c=blue:s=16x8:d=0.12:r=25", "-c:v", "libvpx",
                "-b:v", "20k", os.path.join(here, "corpus", "clipdecoder", "blue.webm")], check=True)
