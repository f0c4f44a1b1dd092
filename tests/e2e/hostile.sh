#!/usr/bin/env bash
# A working directory full of trouble: images of mixed sizes in one set, an
# upper-case A.RGB, a zero-byte and a cut run-length .rgb, a 66 KB run-length
# file whose header claims 8192 x 8192, FIFOs named like an image and a model,
# 300 entries in one image directory, a plain file named imgs.txt, models with
# indices outside their lists, a 5000-character line and a 40-corner face,
# key.db and modules.db with binary junk, blank and overlong lines. The
# instrument must start, draw with every cell raised while each cell steps
# through every module and image set, and end with status 0 on Esc. A second
# stage whose key.db and modules.db are FIFOs must end at once with status 1.
set -uo pipefail
STRATA="$1"; SOURCE="$2"; WORK="$3"
. "$SOURCE/tests/e2e/common.bash"
rm -rf "$WORK"; mkdir -p "$WORK/stage"
trap 'stop_x' EXIT
cd "$WORK"

python3 - stage <<'EOF' || fail "could not write the hostile stage"
import os, struct, sys
root = sys.argv[1]

def header(storage, x, y, z):
    h = struct.pack(">HBBHHHH", 474, storage, 1, 3, x, y, z)
    return h + b"\0" * (512 - len(h))

def verbatim(x, y, z, seed):
    return header(0, x, y, z) + bytes((seed * 7 + i * 13) % 256 for i in range(x * y * z))

def run_length(x, y, z, seed):
    rows = []
    for r in range(y * z):
        row = bytearray()
        left = x
        while left > 0:
            n = min(left, 100)
            row += bytes([n, (seed * 31 + r * 17) % 256])
            left -= n
        rows.append(bytes(row) + b"\0")
    n = y * z
    start = 512 + 8 * n
    starts, lengths, body = [], [], b""
    for row in rows:
        starts.append(start + len(body)); lengths.append(len(row)); body += row
    return header(1, x, y, z) + struct.pack(">%dI" % n, *starts) + struct.pack(">%dI" % n, *lengths) + body

def huge_run_length(side):
    # Every row points at one short stored row: a small file whose header
    # asks for side x side pixels.
    n = side
    row = bytes([0x7F, 200] * (side // 127) + [side % 127, 200, 0])
    start = 512 + 8 * n
    return header(1, side, side, 1) + struct.pack(">%dI" % n, *([start] * n)) + \
        struct.pack(">%dI" % n, *([len(row)] * n)) + row

def put(path, data):
    path = os.path.join(root, path)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data.encode("latin-1") if isinstance(data, str) else data)

# imgs: mixed sizes, upper-case ending, empty and cut files, a directory
# whose name ends in .rgb, a huge header, a FIFO, and good images around
# them. The first listed name and the last one read are good 16 x 16 images:
# the set's texture takes the size of the image read last and is created
# from the first slot, so the raised cells show a picture to check.
put("imgs/0_first.rgb", verbatim(16, 16, 3, 9))
put("imgs/huge-rle.rgb", huge_run_length(8192))
put("imgs/yy_last.rgb", verbatim(16, 16, 3, 8))
os.mkfifo(os.path.join(root, "imgs", "zz.rgb"))
put("imgs/a_small.rgb", verbatim(16, 16, 3, 1))
put("imgs/b_wide.rgb", run_length(64, 8, 4, 2))
put("imgs/c_big.rgb", verbatim(128, 128, 3, 3))
put("imgs/A.RGB", verbatim(16, 16, 3, 4))
put("imgs/empty.rgb", b"")
put("imgs/cut.rgb", run_length(32, 32, 3, 5)[:1200])
put("imgs/grey.rgb", verbatim(32, 32, 1, 6))
put("imgs/huge-header.rgb", header(0, 8000, 8000, 4)[:12])
os.makedirs(os.path.join(root, "imgs", "folder.rgb"), exist_ok=True)
# imgs2: 300 entries (the listing keeps 256, the list examines 128).
for i in range(300):
    put("imgs2/p%03d.rgb" % i, verbatim(4, 4, 3, i))
# imgs.txt: a plain file whose name begins with imgs.
put("imgs.txt", "not a directory\n")

# mdls: a good cube, and a hostile model.
cube = ("v -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nv -1 -1 1\nv 1 -1 1\nv 1 1 1\nv -1 1 1\n"
        "f 1 2 3 4\nf 5 6 7 8\nf 1 2 6 5\nf 2 3 7 6\nf 3 4 8 7\nf 4 1 5 8\n")
put("mdls/cube.obj", cube)
ring = "".join("v %f %f 0\n" % (__import__("math").cos(i / 40 * 6.283), __import__("math").sin(i / 40 * 6.283)) for i in range(40))
hostile = (cube + ring + "vt 0 0\nvn 0 0 1\n"
           "f 1 2 999\nf -1 -2 -3\nf 0 1 2\nf 1/7/1 2/1/1 3/1/1\nf 1//9 2//1 3//1\nf 1 2 2147483648\n"
           "# " + "x" * 5000 + "\n"
           "v " + "1" * 5000 + " 2 3\n"
           "f " + " ".join(str(9 + i) for i in range(40)) + "\n"
           "f " + " ".join(str(1 + i % 8) for i in range(2000)) + "\n"
           "v nan inf -inf\nv 3e38 3e38 3e38\n"
           "\x00\x01\x02 binary \xff\xfe\n\n\n")
put("mdls/hostile.obj", hostile)
put("mdls/empty.obj", "")
put("mdls/binary.obj", bytes(range(256)) * 8)
os.mkfifo(os.path.join(root, "mdls", "fifo.obj"))

# A second stage: key.db and modules.db are FIFOs nobody writes into.
os.makedirs("fifostage")  # beside the stage, in the work directory
os.mkfifo("fifostage/key.db")
os.mkfifo("fifostage/modules.db")

# key.db: bindings among junk.
put("key.db", "a 21\n\n\n\x00\x01\x02\xff\xfe\n" + "z" * 300 + "\nq\nw notanumber\n"
    "\xe9 40\nb -5\nc 0\nd 99999999999999\n\r\n e 19\nr 17\n")
# modules.db: the twelve modules with trailing words and junk lines between
# them on the same line numbers, then binary junk and blank lines.
names = ["Waver", "Tunnel", "Cloud", "Waver3D", "Particles1", "MetaballViewer", "ObjViewer",
         "TorusTunnel", "Flo", "RippleObjViewer", "SoundScape", "Wave"]
lines = [n + " trailing words \x01\x02" for n in names]
lines[3] += "\r"
lines.append("\x00\x00\x00")
lines.append("\xff\xfe\xfd junk")
lines.append("L" * 300)
lines.append("../../../../../../etc")
put("modules.db", "\n".join(lines) + "\n\n  \n\t\n")
EOF

start_x 1024x768
export LIBGL_ALWAYS_SOFTWARE=1
# In the sanitizer build, leaks are not looked for at exit: the instrument
# ends through exit with its universe alive by design, and the GL driver's
# exit-time leaks cannot be told apart once it is unloaded.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
start_strata stage out.log
wait_for_line out.log "qelUnivCell::init -- loadModels()" 60 || fail "no start-up: $(tail -n 5 out.log out.log.err)"
win=$(strata_window) || fail "no window"
sleep 1
kill -0 "$STRATA_PID" 2>/dev/null || fail "strata ended after start-up: $(tail -n 5 out.log.err)"

# What the start-up must have said about the trouble.
grep -q "SgiImage::readTexture unreadable" out.log || fail "no line for the unreadable images"
grep -qF "SgiImage::readTexture unreadable (side above 4096 pixels) imgs/huge-rle.rgb" out.log ||
  fail "no refusal of the 8192 x 8192 header"
for path in imgs/zz.rgb mdls/fifo.obj; do
  [ "$(grep -cxF "Not a regular file, refused: $path" out.log.err)" -eq 1 ] || fail "no single refusal of the FIFO $path"
done
grep -qxF " File Open Error mdls/fifo.obj" out.log || fail "the FIFO model is not reported as unopenable"
grep -qxF "texture size is 16,16 " out.log || fail "the image set did not take the last image's size"
grep -q "^ImageList 127 imgs" out.log || fail "the 300-entry directory did not fill 127 slots"
grep -q "^Keybind Override :: a 97 to 21" out.log || fail "binding a 21 lost among the junk"
grep -q "^Module:: Wave ID:: 11" out.log || fail "module 11 lost"
modules=$(grep -c "^Module:: " out.log)
[ "$modules" -ge 12 ] || fail "only $modules modules"

# Raise every cell: F1..F11 with the mouse at the right edge.
xdotool mousemove 1023 384
sleep 0.3
for f in 1 2 3 4 5 6 7 8 9 10 11; do xdotool key "F$f"; done
# Eleven layers on the software renderer (slower still in the sanitizer
# build): wait for the picture rather than for a fixed time.
lit=0
for _ in $(seq 1 30); do
  sleep 1
  kill -0 "$STRATA_PID" 2>/dev/null || fail "strata ended after raising the cells"
  shot raised.png
  lit=$(mean_brightness raised.png)
  [ "$lit" -ge 3 ] && break
done
[ "$lit" -ge 3 ] || fail "every cell raised but the picture stays dark (mean $lit)"

# Step every cell through every module (Down past the last one), then back
# up, and through every image set (Right past the last, then Left).
for f in 1 2 3 4 5 6 7 8 9 10 11; do
  xdotool key "F$f"
  for _ in $(seq 1 $((modules + 1))); do xdotool key Down; sleep 0.05; done
  kill -0 "$STRATA_PID" 2>/dev/null || fail "strata ended while cell $f stepped through the modules"
done
for f in 1 2 3 4 5 6 7 8 9 10 11; do
  xdotool key "F$f"
  for _ in $(seq 1 "$f"); do xdotool key Up; sleep 0.05; done
  for _ in 1 2 3 4 5; do xdotool key Right; sleep 0.05; done
  for _ in 1 2; do xdotool key Left; sleep 0.05; done
done
# Keys of every kind with the mouse far outside the screen.
xdotool mousemove 0 0
for k in a q w e r z b c d h h 1 2 3 Home Home Insert Prior Next Next End End; do
  xdotool key "$k"
done
sleep 3
kill -0 "$STRATA_PID" 2>/dev/null || fail "strata ended while keys were pressed: $(tail -n 5 out.log.err)"
grep -q "^qelCell::setReactor $((modules - 1)) " out.log || fail "no cell reached the last module"
shot stepped.png
[ "$(mean_brightness stepped.png)" -ge 1 ] || fail "nothing drawn after stepping the cells"

end_strata "$win"
status=$?
[ "$status" -eq 0 ] || fail "exit status $status"
if grep -q "ERROR: AddressSanitizer\|runtime error:" out.log.err; then fail "sanitizer report: $(head -n 20 out.log.err)"; fi

# FIFOs for key.db and modules.db: refused, and the missing modules.db ends
# the start-up with status 1 instead of waiting for a writer.
start_strata fifostage fifo.log
for _ in $(seq 1 300); do kill -0 "$STRATA_PID" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$STRATA_PID" 2>/dev/null; then kill -9 "$STRATA_PID"; fail "start-up blocked on a FIFO"; fi
wait "$STRATA_PID"
status=$?
[ "$status" -eq 1 ] || fail "FIFO stage: exit status $status"
for path in key.db modules.db; do
  grep -qxF "Not a regular file, refused: $path" fifo.log.err || fail "no refusal of the FIFO $path"
done
grep -qxF " File Open Error modules.db" fifo.log || fail "no File Open Error for the FIFO modules.db"
grep -q "the bundled stage is stage/" fifo.log.err || fail "no hint at the bundled stage"
echo "hostile: ok"
