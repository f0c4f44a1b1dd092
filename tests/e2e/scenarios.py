#!/usr/bin/env python3
"""The end-to-end scenarios, each a list of steps of driver.py:
    python3 scenarios.py SCENARIO STRATA SOURCE_DIR WORK_DIR"""
import json
import math
import random
import struct
import subprocess
import sys
import threading
import urllib.error
import urllib.request
import wave

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from driver import *  # noqa: E402,F401,F403 (the steps, the paths)


def nodisplay():
    """Without a display --help and --version answer; any other start, and
    ./run.sh, says in one line that there is no display (status 1)."""
    os.environ.pop("DISPLAY", None)
    answers = {word: run(STRATA, word) for word in ("--help", "--version")}
    for word, r in answers.items():
        check(r.returncode == 0 and r.stdout and not r.stderr, f"strata {word}: status {r.returncode}, {r.stderr}")
    check(re.search("^Usage: strata", answers["--help"].stdout, re.M), "--help prints no usage line")
    check("Usage: strata" not in answers["--version"].stdout, "--version printed the help")
    build = {"STRATA_BUILD_DIR": os.path.dirname(STRATA)}
    for command, env in (([STRATA, "--help", "x"], {}), ([f"{SOURCE}/run.sh"], build)):
        r = run(*command, env=env, merge=True)
        check(r.returncode == 1 and len(r.stdout.splitlines()) == 1 and "no display" in r.stdout,
              f"{' '.join(command)}: status {r.returncode}: {r.stdout[-400:]}")


def operator():
    """On a 1280x1024 screen: start-up lines in order, devices and the toggles
    of End, Page Down and Home reported on standard error only, a black
    picture before any key, Insert showing and hiding the overlay (rendered
    pictures untouched), F1 raising cell 0 letterboxed and hiding it; desktop
    mode and a monitor chosen by name fill the screen with no mode switch."""
    os.makedirs("stage")
    write("stage/key.db", "a 21\nq 17\n")
    write("stage/modules.db", "\n".join(MODULES) + "\n")
    shutil.copytree(f"{SOURCE}/stage/imgs", "stage/imgs")
    start_x("1280x1024")
    os.environ["STRATA_JOYSTICK"] = f"{WORK}/no-joystick"
    s = Strata("out", STRATA_AUDIO="no-such-device")
    head = lines(s.log)[:3]
    check(head == ["Glut API Version 3", "Keybind Override :: a 97 to 21", "Keybind Override :: q 113 to 17"],
          f"the first lines are {head}")
    check(len(found(s.log, "^qelCell::setReactor 0 ")) == 11, "not eleven cells")
    check(brightness(shot("black.png")) <= 2, "picture not black before any key")  # only the fade
    has_lines(s.err, "strata: sound: no sound input: no-such-device: No such file or directory",
              f"strata: joystick: absent ({WORK}/no-joystick)")
    check(found(s.err, r"^strata: MIDI: (no sequencer: no MIDI can arrive \(sudo modprobe snd-seq loads it; then start "
                       r"again\)|.*virtual port.*; input is off until End)$"), "no MIDI line")
    has_lines(s.log, "Record Failed")
    check(not found(s.log, "^strata"), "a report line reached standard output")
    for key in ("End", "Next", "Home", "End"):  # each toggle gives one line
        press(key, wait=0.4)
    has_lines(s.err, *("strata: " + line for line in ("MIDI input on (End)", "joystick input on (Page Down)",
                                                      "cursor shown (Home)", "MIDI input off (End)")))
    panel = "800x330+0+0"  # light text on a dark panel at the top left
    press("Insert", wait=1.5)
    check(brightness(shot("shown.png"), panel) >= 8, "overlay not shown by Insert")
    check(brightness("shown.png", "1280x600+0+400") <= 1, "the overlay reaches beyond its panel")
    press("Insert", wait=1)
    check(brightness(shot("hidden.png"), panel) <= 1, "overlay not hidden by Insert")
    press("F1", at=(1279, 512), wait=2)  # at the right edge: fully raised
    letterboxed(shot("raised.png"), "cell 0 raised")
    press("F1", at=(0, 512), wait=2)  # at the left edge: hidden again
    check(brightness(shot("lowered.png"), "1280x960+0+32") <= 2, "cell 0 still visible after F1 at the left edge")
    s.end()

    # The overlay shown at start with the hint (Insert hides it), hidden without; the picture letterboxed in a
    # window over the whole desktop.
    for mode, env, line in (("desktop", {"STRATA_MODE": "desktop", "STRATA_OVERLAY_HINT": "1"}, "strata: desktop "
                             "mode: a full-screen window at the desktop's 1280x1024, no mode switch"),
                            ("monitor", {"STRATA_MONITOR": "screen"}, "strata: monitor screen, 1280x1024 at 0,0")):
        s = Strata(mode, STRATA_OVERLAY="1", **env)
        sleep(1.5)
        hint, lit = "STRATA_OVERLAY_HINT" in env, brightness(shot(f"{mode}-start.png"), panel)
        check(lit >= 8 if hint else lit <= 1, f"{mode}: overlay {'not ' if hint else ''}shown at start")
        if hint:
            press("Insert", wait=0.3)
        press("F1", at=(1279, 512), wait=1.5)
        geometry = re.search(r"Geometry: (\S+)", out("xdotool", "getwindowgeometry", s.win))
        check(geometry and geometry.group(1) == "1280x1024", f"{mode}: window is not 1280x1024: {geometry}")
        letterboxed(shot(f"{mode}.png"), mode)
        s.end()
        check(not found(s.err, "failed to change screen settings"), f"{mode}: the screen mode was switched")
        has_lines(s.err, line)

    # Insert leaves the picture as it was: rendered frames with and without it are bit-identical.
    for name, keys in (("base", ""), ("keys", "3 key Insert\n5 key Insert\n")):
        write(f"{name}.show", "0 key F1 639 240\n0 key Down\n" + keys)
        check(run(RENDER, "stage", "--script", f"{name}.show", "--frames", "8", "--png-frames", "7", "--out", name,
              "--quiet").returncode == 0, f"strata-render failed on {name}.show")
    check(same_files("base/frame-000007.png", "keys/frame-000007.png"), "Insert changed the rendered picture")


def receive(port):
    """The paths of the OSC messages that reach a loopback port, as they come."""
    paths, udp = [], socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.bind(("127.0.0.1", port))

    def listen():
        while True:
            paths.append(udp.recv(65536).split(b"\0")[0].decode(errors="replace"))
    threading.Thread(target=listen, daemon=True).start()
    return paths


def get(port, path):
    """An HTTP status and body from the OSCQuery server."""
    try:
        with urllib.request.urlopen(f"http://127.0.0.1:{port}{path}", timeout=5) as reply:
            return reply.status, reply.read().decode()
    except urllib.error.HTTPError as error:
        return error.code, ""


def stage():
    """On the bundled stage with OSC: everything preloaded; layer 1 raised and
    its module changed over OSC, as the OSCQuery tree tells; Up, Right, Down
    and 'h' step cell 0's module, image set and help page; a bad message
    counted, the state sent to STRATA_OSC_OUT, Alt+l arming MIDI learn."""
    check(shutil.which("oscsend"), "oscsend (liblo-tools) is not installed")
    shutil.copytree(f"{SOURCE}/stage", "stage")
    port, out_port = free_ports(2)
    received = receive(out_port)
    start_x("640x480")
    s = Strata("out", wait=60, STRATA_OSC=f"127.0.0.1:{port}", STRATA_OSC_OUT=f"127.0.0.1:{out_port}")
    s.expect(f"OSC: listening on 127.0.0.1:{port}", f"OSC not listening: {tail(s.err)}", err=True)
    has_lines(s.log, "Modules DataBase is built ", "Image PreLoading Complete ", "Models PreLoading Complete ",
              "Generate IGene::Loading Image List from directory imgs3",
              "Generate ModelGene::Loading Model List from directory mdls", "Models set 4 models")
    check(len(found(s.log, r"^Reading Texture \.\.\.")) >= 15, "image sets not read")
    check(brightness(shot("dark.png")) < 5, "the screen is not dark before OSC")
    osc(port, "/strata/layer/1/opacity f 1.0", "/strata/layer/1/module s Tunnel")
    s.expect("Loading ... : Tunnel ", f"the module did not change: {tail(s.err)}")
    sleep(2)
    check(brightness(shot("osc.png")) >= 10, "layer 1 shows nothing after OSC")
    status, body = get(port, "/")
    check(status == 200, f"no OSCQuery tree: {status}")
    tree = json.loads(body)["CONTENTS"]["strata"]["CONTENTS"]
    layer = tree["layer"]["CONTENTS"]["1"]["CONTENTS"]
    check(layer["module"]["VALUE"] == ["Tunnel"] and "Cloud" in layer["module"]["RANGE"][0]["VALS"] and
          layer["opacity"]["VALUE"] == [1] and layer["shown"]["VALUE"] == [True] and
          layer["opacity"]["FULL_PATH"] == "/strata/layer/1/opacity" and tree["ctl"]["TYPE"] == "iif" and
          tree["layer"]["CONTENTS"]["2"]["CONTENTS"]["shown"]["VALUE"] == [False] and
          all(tree[n]["FULL_PATH"] == "/strata/" + n for n in "select key trail midi joystick learn list".split()),
          f"OSCQuery tree is wrong: {body[:300]}")
    check(f'"OSC_PORT":{port}' in get(port, "/?HOST_INFO")[1], "HOST_INFO does not name the port")
    check(get(port, "/strata/select?VALUE")[1].strip() == '{"VALUE":[1]}', "select value")
    check(get(port, "/" + "a" * 2000)[0] == 414, "a long request was not refused")

    press("F1", at=(639, 240))  # cell 0 stays fully raised and takes the keys
    s.after("Up", "Loading ... : Waver ", "Up did not load the previous module")
    sleep(2)
    check(brightness(shot("waver.png")) >= 20, "raised Waver shows nothing")
    check(int(out("convert", "waver.png", "-colors", "64", "-format", "%k", "info:")) >= 16, "no image content")
    press("Right", wait=2)
    check(changed("waver.png", shot("imageset.png"), 10) > 20000, "Right did not change the picture")
    s.after("Down", "Loading ... : Tunnel ", "Down did not load the next module")
    sleep(2)
    check(brightness(shot("tunnel.png")) >= 10, "Tunnel shows nothing")
    s.after("h", " Enter Help Mode ...", "no help mode")
    sleep(2)
    check(changed("tunnel.png", shot("help.png"), 10) > 5000, "help page not shown")
    s.after("h", " Out   Help Mode ...", "help mode did not end")

    osc(port, "/strata/ctl iii 99 0 0")  # counted, and the instrument runs on
    s.expect("1 bad messages ignored", "the bad message was not reported", 5, err=True)
    check("/strata/level" in received and "/strata/layer/1/module" in received, f"state not received: {received[:9]}")
    s.after("alt+l", "MIDI learn: move a control", "Alt+l did not arm learn", err=True)
    check("MIDI learn" not in text(s.log), "learn wrote to standard output")
    s.end()


def video():
    """strata-render --video: H.264 at 1000 / frame-ms frames per second, right
    side up, the --wav sound muxed in; a clear error without ffmpeg."""
    check(shutil.which("ffmpeg") and shutil.which("ffprobe"), "ffmpeg is not installed (tools/setup.sh --test)")
    # Sound Scape raised on the golden sound; 60 frames of 40 ms: 2.4 s at 25 frames per second.
    write("show.txt", "0 ctl 11 19 0\n0 key F1 639 240\n" + "0 key Down\n" * 10)
    r = run(RENDER, f"{GOLDEN}/stage", "--script", "show.txt", "--wav", f"{GOLDEN}/sound.wav", "--frames", "60",
            "--frame-ms", "40", "--png-frames", "59", "--out", "png", "--video", "out.mp4", "--quiet")
    check(r.returncode == 0, f"render failed: {r.stderr[-300:]}")
    probe = lambda *what: out("ffprobe", "-v", "error", *what, "-of", "default=nw=1:nk=1", "out.mp4")  # noqa: E731
    streams = [probe("-select_streams", s[0], "-show_entries", "stream=" + s[2:]) for s in
               "v codec_name,v pix_fmt,v width,v height,v r_frame_rate,v nb_frames,a codec_name".split(",")]
    check(streams == ["h264", "yuv420p", "640", "480", "25/1", "60", "aac"], f"the streams are {streams}")
    duration = float(probe("-show_entries", "format=duration"))
    check(2.3 < duration < 2.6, f"duration {duration} s, not about 2.4 s")
    # Right side up: the last video frame looks like the PNG of frame 59 (lossy, so by a loose measure).
    check(run("ffmpeg", "-v", "error", "-i", "out.mp4", "-vf", r"select=eq(n\,59)", "-frames:v", "1", "-y",
              "last.png").returncode == 0, "cannot read the last video frame back")
    run("convert", "png/frame-000059.png", "-flip", "flipped.png")
    rmse = lambda a, b: float(re.search(r"\((.*)\)", run("compare", "-metric", "RMSE", a, b, "null:").stderr)[1])
    diff, flipped = rmse("last.png", "png/frame-000059.png"), rmse("last.png", "flipped.png")
    check(diff < 0.08 and diff < flipped, f"video frame differs from the picture (RMSE {diff}, flipped {flipped})")
    # Without ffmpeg on the path: one clear line and status 1, before any frame.
    r = run(RENDER, f"{GOLDEN}/stage", "--frames", "5", "--video", "none.mp4", "--quiet", env={"PATH": "/nonexistent"})
    check(r.returncode == 1 and "strata-render: --video needs ffmpeg, which is not installed" in r.stderr,
          f"without ffmpeg: status {r.returncode}: {r.stderr}")
    check(not os.path.exists("none.mp4"), "a video file appeared without ffmpeg")
    return f"h264 yuv420p 640x480 25 fps, {duration} s, aac sound"


def replay(s, *options):
    """Esc ends the live show s; the render of its recording rec-TAG must give the same bytes as every frame
    dumped live into live-TAG. The number of frames compared."""
    sleep(1)
    s.end()
    tag = s.tag
    check("recording stopped" in text(s.err), f"{tag}: the recording did not stop: {tail(s.err)}")
    frames = sorted(int(f[6:12]) for f in os.listdir(f"live-{tag}") if re.fullmatch(r"frame-\d{6}\.png", f))
    check(frames, f"{tag}: no frames dumped live")
    r = run(RENDER, "stage", "--script", f"rec-{tag}/show.script", "--png-frames", ",".join(map(str, frames)),
            "--out", f"render-{tag}", "--quiet", *options)
    check(r.returncode == 0, f"{tag}: strata-render failed: {r.stderr[-300:]}")
    differ = [n for n in frames if not same_files(f"live-{tag}/frame-{n:06d}.png", f"render-{tag}/frame-{n:06d}.png")]
    check(not differ, f"{tag}: frames {differ} of {len(frames)} dumped differ from the re-render")
    return len(frames)


def record():
    """A live show recorded with STRATA_RECORD re-renders exactly: the frames
    dumped live (STRATA_DUMP_FRAMES) and strata-render's frames of the
    recording are the same bytes. Two shows: a wave file (STRATA_AUDIO, its
    format reported) moving Sound Scape's bars, Particles1 raised too; module
    changes, a joystick, scene keys (Ctrl+Shift+2 stores, Ctrl+2 recalls with
    a cross-fade), mouse keys, then OSC: layers, modules, a controller, keys,
    the trail, a scene stored and recalled, the tempo set and tapped; sound
    routes (sound.map) pulse and breathe in both."""
    shutil.copytree(f"{GOLDEN}/stage", "stage")
    write("stage/sound.map", b"beat -> 0 21 decay 150\nlevel -> 1 22\nlfo sine 1/2 -> 1 23\n")
    check(os.access(RENDER, os.X_OK), "no strata-render beside strata")
    sine = lambda hz, t: math.sin(2 * math.pi * hz * t)  # noqa: E731
    with wave.open("beat.wav", "wb") as w:  # 3 s, 16-bit stereo: a rising sweep and a tone, both swelling
        w.setnchannels(2), w.setsampwidth(2), w.setframerate(22050)
        w.writeframes(b"".join(struct.pack("<hh", int(v * 26e3 * sine(90 + 300 * t, t)), int(v * 18e3 * sine(330, t)))
                               for t, v in ((i / 22050, 0.2 + 0.8 * abs(sine(1, i / 22050))) for i in range(66150))))
    # A joystick: the Linux js_event records of a push to the right with button 2.
    write("joystick.events", b"".join(struct.pack("<IhBB", 0, v, kind, n) for n, kind, v in
                                      ((0, 2, 20000), (1, 2, -12000), (1, 1, 1))))
    start_x("640x480")

    def live(tag, **env):  # a live show, recorded, with every seventh frame dumped
        return Strata(tag, wait=60, STRATA_WINDOWED="1", STRATA_RECORD=f"{WORK}/rec-{tag}",
                      STRATA_DUMP_DIR=f"{WORK}/live-{tag}", STRATA_DUMP_FRAMES=",".join(map(str, range(0, 3001, 7))),
                      **env)

    s = live("sound", STRATA_AUDIO=f"{WORK}/beat.wav")
    press("F1", *["Down"] * 10, at=(639, 240), wait=2)  # cell 0 fully up: Sound Scape
    shot("bars-1.png")
    sleep(0.5)
    moving = changed("bars-1.png", shot("bars-2.png"), 5)
    check(brightness("bars-1.png") >= 3 and moving > 500, f"bars do not follow the sound ({moving} pixels changed)")
    press("F2", *["Down"] * 4, at=(500, 100), wait=1.5)  # cell 1: Particles1
    press("q", "w", at=(200, 300), wait=1.5)  # controllers 17, 18 of channel 1
    sound_frames = replay(s, "--wav", "rec-sound/sound.wav")
    has_lines(s.log, "WaveFile is Successfully Opened")
    has_lines(s.err, f"strata: sound: {WORK}/beat.wav (wave file, 22050 Hz, 2 channels, 16-bit), looping")
    check(found("rec-sound/show.script", r" sound \d+$"), "sound: no sound blocks recorded")
    check(found("rec-sound/show.script", r" routed 0 21 ") and found("rec-sound/show.script", r" routed 1 23 "),
          "sound: no writes of the sound routes recorded")
    # The sound matters: without it the same recording gives another last picture.
    last = sorted(os.listdir("live-sound"))[-1]
    check(run(RENDER, "stage", "--script", "rec-sound/show.script", "--png-frames", str(int(last[6:12])), "--out",
              "silent", "--quiet").returncode == 0, "silent render failed")
    check(not same_files(f"live-sound/{last}", f"silent/{last}"), "sound: the picture does not follow the sound")

    check(shutil.which("oscsend"), "oscsend (liblo-tools) is not installed")
    port = free_ports(1)[0]
    s = live("controls", STRATA_AUDIO="no-such-device", STRATA_SCENE_FADE="400",
             STRATA_JOYSTICK=f"{WORK}/joystick.events", STRATA_OSC=f"127.0.0.1:{port}")
    press("F1", "Down", "Down", at=(600, 240))  # cell 0: Cloud
    press("e", "r", at=(100, 400), wait=0.5)
    press("ctrl+shift+2", wait=0.3)  # store scene 2
    press("F2", "Next", "Down", "Down", "Down", at=(639, 240))  # cell 1 up; joystick on (Page Down)
    press("t", "y", "F1", at=(20, 20), wait=0.8)
    press("ctrl+2", wait=1.2)  # recall scene 2 (cross-fade), then OSC
    s.expect(f"OSC: listening on 127.0.0.1:{port}", "not listening to OSC", err=True)
    osc(port, "/strata/layer/3/opacity f 1.0", "/strata/layer/3/module s Cloud", "/strata/layer/2/opacity f 0.8",
        "/strata/layer/2/module i 4", "/strata/ctl iif 1 20 0.5")
    sleep(0.6)
    osc(port, "/strata/scene/store i 3", "/strata/key sii e 100 400", "/strata/trail f 0.4",
        "/strata/layer/1/module i 6")
    sleep(0.8)
    osc(port, "/strata/scene/recall i 3", "/strata/select i 2", "/strata/key sii q 500 100", "/strata/tempo f 174.0",
        "/strata/tempo/tap")
    sleep(0.6)  # then as the control surface sends: over the WebSocket
    ws_osc(port, "/strata/layer/4/module s Tunnel", "/strata/layer/4/opacity f 0.9", "/strata/layer/4/shown F",
           "/strata/layer/*/opacity f 0.7")
    control_frames = replay(s)
    check(os.path.isfile("stage/scenes/02.scene") and os.path.isfile("stage/scenes/03.scene"),
          "Ctrl+Shift+2 or /strata/scene/store stored no scene")
    check("scene recalled from scenes/02.scene (fade 400 ms)" in text(s.err), "Ctrl+2 recalled no scene")
    for line in (r" scene scene-\d*\.scene 400$", r" scene scene-\d*\.scene \d+ bus$", " joy ",
                 "osc /strata/layer/3/module 2$", "osc /strata/key e 100 400$", "osc /strata/ctl 1 20 0.500000000$",
                 "osc /strata/layer/4/module 1$", "osc /strata/layer/4/shown 0$", "osc /strata/layer/11/opacity 0.69"):
        check(found("rec-controls/show.script", line), f"no '{line}' in the recording")
    return f"sound show {sound_frames} frames, control show {control_frames} frames bit-equal"


def samples(path, *convert):
    """The sound of a file as mono 22 050 Hz floats -1..1 (ffmpeg decodes anything)."""
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, *convert, "-f", "s16le", "-ac", "1", "-ar", "22050",
                          "-"], capture_output=True).stdout
    return [v / 32768 for v in struct.unpack(f"<{len(raw) // 2}h", raw)]


def similarity(a, b, lag, step=1):
    """Correlation of a[i] with b[i - lag], over what both hold."""
    pairs = [(a[i], b[i - lag]) for i in range(max(0, lag), min(len(a), len(b) + lag), step)]
    xy, xx, yy = (sum(p * q for p, q in pairs), sum(p * p for p, _ in pairs), sum(q * q for _, q in pairs))
    return xy / math.sqrt(xx * yy) if xx and yy else 0.0


def show_times(script):
    """The frame times of a recording as strata-render takes them: the start of every frame up to the end."""
    ms, starts, events = 16, [0.0], {}
    for line in open(script):
        w = line.split()
        if len(w) > 2 and w[1] == "ms":
            events[int(w[0])] = int(w[2])
    last = max(int(line.split()[0]) for line in open(script) if line[:1].isdigit())
    for n in range(1, last + 1):
        ms = events.get(n, ms)
        starts.append(starts[-1] + ms)
    return starts


def wholeshow():
    """A recording holds the whole show: 16 s played live at an uneven frame
    rate with a wave file as the sound give a video as long as the show
    (within one frame) whose sound is the whole stream, the source's, in step
    with the picture, and frames that re-render byte for byte; a show without
    sound input re-renders with the README's command; a show killed with
    SIGKILL after 5 s re-renders its first 4 s."""
    shutil.copytree(f"{GOLDEN}/stage", "stage")
    rnd = random.Random(7)
    parts = [(rnd.uniform(40, 400), rnd.uniform(0, 6.3), rnd.uniform(0.3, 1)) for _ in range(7)]
    source = [sum(a * math.sin(2 * math.pi * f * i / 22050 + p) for f, p, a in parts) for i in range(66150)]
    peak = max(map(abs, source))
    source = [v / peak for v in source]
    with wave.open("tone.wav", "wb") as w:  # 3 s, looped by the instrument
        w.setnchannels(1), w.setsampwidth(2), w.setframerate(22050)
        w.writeframes(struct.pack(f"<{len(source)}h", *(int(v * 30000) for v in source)))
    start_x("640x480")

    def live(tag, **env):
        return Strata(tag, wait=60, STRATA_WINDOWED="1", STRATA_RECORD=f"{WORK}/rec-{tag}",
                      STRATA_DUMP_DIR=f"{WORK}/live-{tag}", STRATA_DUMP_FRAMES=",".join(map(str, range(0, 9001, 41))),
                      **env)

    began = time.time()
    s = live("sound", STRATA_AUDIO=f"{WORK}/tone.wav")
    press("F1", *["Down"] * 10, at=(639, 240), wait=4)  # Sound Scape
    press("F2", *["Down"] * 4, at=(639, 240), wait=4)  # Particles1 too: slower frames
    press("F2", "Up", "Up", wait=4)  # Waver3D
    press("F3", "Down", at=(639, 240), wait=max(1, 17 - (time.time() - began)))
    frames = replay(s, "--wav", "rec-sound/sound.wav", "--video", "show.mp4")  # the README's command, and a video
    starts = show_times("rec-sound/show.script")
    steps = sorted(b - a for a, b in zip(starts[1:], starts[2:]))
    check(starts[-1] >= 15000 and steps[len(steps) * 9 // 10] >= 1.5 * steps[len(steps) // 10],
          f"a show of {starts[-1] / 1000:.1f} s at frame times {steps[0]}..{steps[-1]} ms: not 15 s, or even")
    length = float(out("ffprobe", "-v", "error", "-select_streams", "v", "-show_entries", "stream=duration", "-of",
                       "csv=p=0", "show.mp4"))
    check(abs(length - starts[-1] / 1000) <= 1 / 30, f"a video of {length} s for a show of {starts[-1] / 1000} s")
    # The stream is the source's, whole: one lag (the loop's place) fits it all.
    stream, heard = samples("rec-sound/sound.wav"), samples("show.mp4")
    check(len(stream) >= len(heard) - 22050, f"{len(stream) / 22050:.1f} s of sound for {length:.1f} s of show")
    coarse = max(range(0, 66150, 12), key=lambda lag: similarity(stream[:4000], source * 2, -lag, 8))
    lag = max(range(coarse - 12, coarse + 13), key=lambda lag: similarity(stream[:8000], source * 2, -lag))
    fit = similarity(stream, source * (len(stream) // 66150 + 3), -lag, 7)
    check(fit > 0.95, f"the recorded sound is not the source's whole (correlation {fit:.3f})")
    # In the video, at the offset the first sound mark gives.
    first = next(line.split() for line in open("rec-sound/show.script") if re.match(r"\d+ sound \d+$", line))
    offset = round((starts[int(first[0])] / 1000 - (int(first[2]) + 1) * 256 / 22050) * 22050)
    near = {lag: similarity(heard, stream, lag, 23) for lag in range(offset - 220, offset + 221, 2)}
    best = max(near, key=near.get)
    check(abs(best - offset) <= 44 and near[best] > 0.8,
          f"the video's sound is not in step: best at {best - offset} samples from the recorded offset, "
          f"correlation {near[best]:.3f}")

    s = live("silent", STRATA_AUDIO="no-such-device")
    press("F1", "Down", "Down", at=(600, 240), wait=2)
    quiet_frames = replay(s, "--wav", "rec-silent/sound.wav")  # the command the README and the script give
    check(found("rec-silent/show.script", "^# No sound input during the show"), "no word of the missing sound")

    s = live("killed", STRATA_AUDIO=f"{WORK}/tone.wav")
    press("F1", "Down", "Down", at=(600, 240), wait=5)
    s.proc.kill()
    s.proc.wait()
    r = run(RENDER, "stage", "--script", "rec-killed/show.script", "--wav", "rec-killed/sound.wav", "--out",
            "render-killed", "--png-frames", ",".join(map(str, range(0, 9001, 41))))
    cut = re.search(r"the recording was cut off at frame (\d+); rendering its (\d+) whole frames", r.stderr)
    check(r.returncode == 0 and cut, f"the cut recording did not render: {r.stderr[-300:]}")
    rendered = int(cut[2])
    check(show_times("rec-killed/show.script")[rendered - 1] >= 4000, f"only {rendered} frames re-rendered")
    dumped = [f for f in os.listdir("live-killed") if int(f[6:12]) < rendered]
    differ = [f for f in dumped if not same_files(f"live-killed/{f}", f"render-killed/{f}")]
    check(dumped and not differ, f"killed: {differ} of {len(dumped)} frames differ")
    return (f"{starts[-1] / 1000:.1f} s show, {frames} frames equal, video {length:.2f} s, sound in step "
            f"({near[best]:.2f}); silent show {quiet_frames} frames; killed show {rendered} frames")


def sgi(storage, x, y, z, body=b""):
    h = struct.pack(">HBBHHHH", 474, storage, 1, 3, x, y, z)
    return h + b"\0" * (512 - len(h)) + body


def verbatim(x, y, z, seed):
    return sgi(0, x, y, z, bytes((seed * 7 + i * 13) % 256 for i in range(x * y * z)))


def run_length(x, y, z, seed, rows=None):
    """Rows of runs of at most 127 pixels; rows, when given, stands for every row (a small file of a huge picture)."""
    rows = rows or [bytes(sum(([min(127, x - c), (seed * 31 + r * 17) % 256] for c in range(0, x, 127)), [])) + b"\0"
                    for r in range(y * z)]
    n, starts, body = y * z, [], b""
    for row in rows:
        starts.append(512 + 8 * n + len(body))
        body += row
    if len(rows) == 1:
        starts, body = starts * n, rows[0]
    return sgi(1, x, y, z, struct.pack(f">{n}I{n}I", *starts, *([len(r) for r in rows] * (n // len(rows)))) + body)


def put(path, data):
    os.makedirs(os.path.dirname("stage/" + path), exist_ok=True)
    write("stage/" + path, data.encode("latin-1") if isinstance(data, str) else data)


def hostile():
    """A stage full of trouble (images of mixed sizes, broken, huge or FIFOs;
    300 of them in one directory; broken models; junk in key.db and
    modules.db): the instrument draws with every cell raised while each steps
    through every module and image set, and ends with status 0 on Esc. On a
    stage whose key.db and modules.db are FIFOs it ends at once (status 1)."""
    # The first listed and the last read are good 16 x 16 images: the set's texture takes the size of the
    # last read and is created from the first slot, so the raised cells show a picture.
    for name, data in (("0_first", verbatim(16, 16, 3, 9)), ("yy_last", verbatim(16, 16, 3, 8)),
                       ("huge-rle", run_length(8192, 8192, 1, 0, [bytes([127, 200] * 64 + [64, 200, 0])])),
                       ("a_small", verbatim(16, 16, 3, 1)), ("b_wide", run_length(64, 8, 4, 2)),
                       ("c_big", verbatim(128, 128, 3, 3)), ("empty", b""), ("cut", run_length(32, 32, 3, 5)[:1200]),
                       ("grey", verbatim(32, 32, 1, 6)), ("huge-header", sgi(0, 8000, 8000, 4)[:12])):
        put(f"imgs/{name}.rgb", data)
    put("imgs/A.RGB", verbatim(16, 16, 3, 4))
    os.makedirs("stage/imgs/folder.rgb")
    for i in range(300):  # the listing keeps 256, the list examines 128
        put("imgs2/p%03d.rgb" % i, verbatim(4, 4, 3, i))
    put("imgs.txt", "not a directory\n")
    cube = "".join(f"v {x} {y} {z}\n" for z in (-1, 1) for x, y in ((-1, -1), (1, -1), (1, 1), (-1, 1))) + \
        "f 1 2 3 4\nf 5 6 7 8\nf 1 2 6 5\nf 2 3 7 6\nf 3 4 8 7\nf 4 1 5 8\n"
    put("mdls/cube.obj", cube)
    put("mdls/hostile.obj", cube + "".join(f"v {math.cos(i / 40 * 6.283):f} {math.sin(i / 40 * 6.283):f} 0\n"
                                           for i in range(40)) +
        "vt 0 0\nvn 0 0 1\nf 1 2 999\nf -1 -2 -3\nf 0 1 2\nf 1/7/1 2/1/1 3/1/1\nf 1//9 2//1 3//1\nf 1 2 2147483648\n"
        "# " + "x" * 5000 + "\nv " + "1" * 5000 + " 2 3\nf " + " ".join(str(9 + i) for i in range(40)) + "\n"
        "f " + " ".join(str(1 + i % 8) for i in range(2000)) + "\nv nan inf -inf\nv 3e38 3e38 3e38\n"
        "\x00\x01\x02 binary \xff\xfe\n\n\n")
    put("mdls/empty.obj", "")
    put("mdls/binary.obj", bytes(range(256)) * 8)
    for fifo in ("stage/imgs/zz.rgb", "stage/mdls/fifo.obj", "fifostage/key.db", "fifostage/modules.db"):
        os.makedirs(os.path.dirname(fifo), exist_ok=True)
        os.mkfifo(fifo)
    put("key.db", "a 21\n\n\n\x00\x01\x02\xff\xfe\n" + "z" * 300 + "\nq\nw notanumber\n"
        "\xe9 40\nb -5\nc 0\nd 99999999999999\n\r\n e 19\nr 17\n")
    # The twelve modules with trailing words and junk on their lines, then binary junk and blank lines.
    names = [n + " trailing words \x01\x02" + ("\r" if n == "Waver3D" else "") for n in MODULES]
    put("modules.db", "\n".join(names + ["\x00\x00\x00", "\xff\xfe\xfd junk", "L" * 300, "../../../../../../etc"]) +
        "\n\n  \n\t\n")

    start_x("1024x768")
    # Under the sanitizers no leaks are looked for at exit: the universe is alive by design, and the
    # GL driver's exit-time leaks cannot be told apart once it is unloaded.
    asan = os.environ.get("ASAN_OPTIONS")
    s = Strata("out", wait=60, ASAN_OPTIONS=(asan + ":" if asan else "") + "detect_leaks=0")
    check(s.alive(), f"strata ended after start-up: {tail(s.err)}")
    for pattern, why in (("^SgiImage::readTexture unreadable", "no line for the unreadable images"),
                         (r"^SgiImage::readTexture unreadable \(side above 4096 pixels\) imgs/huge-rle\.rgb",
                          "no refusal of the 8192 x 8192 header"),
                         ("^ImageList 127 imgs", "the 300-entry directory did not fill 127 slots"),
                         ("^Keybind Override :: a 97 to 21", "binding a 21 lost among the junk"),
                         ("^Module:: Wave ID:: 11", "module 11 lost")):
        check(found(s.log, pattern), why)
    for path in ("imgs/zz.rgb", "mdls/fifo.obj"):
        check(lines(s.err).count(f"Not a regular file, refused: {path}") == 1, f"no single refusal of the FIFO {path}")
    has_lines(s.log, " File Open Error mdls/fifo.obj", "texture size is 16,16 ")  # the set took the last image's size
    modules = len(found(s.log, "^Module:: "))
    check(modules >= 12, f"only {modules} modules")

    cells = [f"F{f}" for f in range(1, 12)]
    press(*cells, at=(1023, 384))  # every cell raised: the mouse at the right edge
    # Eleven layers on the software renderer (slower under the sanitizers): wait for the picture.
    for _ in range(30):
        sleep(1)
        check(s.alive(), "strata ended after raising the cells")
        if brightness(shot("raised.png")) >= 3:
            break
    check(brightness("raised.png") >= 3, "every cell raised but the picture stays dark")
    # Every cell through every module (Down past the last), back up, and through every image set.
    for cell in cells:
        press(cell, *["Down"] * (modules + 1), delay=50)
        check(s.alive(), f"strata ended while cell {cell} stepped through the modules")
    for f, cell in enumerate(cells, 1):
        press(cell, *["Up"] * f + ["Right"] * 5 + ["Left"] * 2, delay=50)
    # Keys of every kind with the mouse far outside the screen.
    press(*"a q w e r z b c d h h 1 2 3 Home Home Insert Prior Next Next End End".split(), at=(0, 0), wait=3)
    check(s.alive(), f"strata ended while keys were pressed: {tail(s.err)}")
    check(found(s.log, f"^qelCell::setReactor {modules - 1} "), "no cell reached the last module")
    check(brightness(shot("stepped.png")) >= 1, "nothing drawn after stepping the cells")
    s.end()
    check(not found(s.err, "ERROR: AddressSanitizer|runtime error:"), f"sanitizer report: {tail(s.err, 20)}")

    # The missing modules.db ends the start-up with status 1 instead of waiting for a writer.
    s = Strata("fifo", stage="fifostage", wait=0)
    check(s.status(30) == 1, "FIFO stage: the exit status is not 1")
    has_lines(s.err, "Not a regular file, refused: key.db", "Not a regular file, refused: modules.db")
    has_lines(s.log, " File Open Error modules.db")
    check(found(s.err, "the bundled stage is stage/"), "no hint at the bundled stage")


def stored_scene(s, port, path):
    """The table as a scene: /strata/scene/store 99 sent to the instrument, its file's lines once written."""
    times = text(s.err).count("strata: scene stored in scenes/99.scene") + 1
    osc(port, "/strata/scene/store i 99")
    s.expect("strata: scene stored in scenes/99.scene", f"{s.tag}: no scene stored: {tail(s.err)}", err=True,
             times=times)
    return [line for line in lines(path) if not line.startswith("#")]


def follow():
    """Several machines on loopback, each on its own copy of the stage: a leader played with keys to its window,
    OSC commands, a scene stored and recalled; a follower (STRATA_FOLLOW) that joined late ends with the leader's
    table, modules and selection (every entry of both, the frame's own level and time aside); a follower keeping
    layer 2 (STRATA_FOLLOW_KEEP) differs there only; a follower that ends is forgotten within about 5 s."""
    check(shutil.which("oscsend"), "oscsend (liblo-tools) is not installed")
    for tag in ("lead", "follow", "keep"):
        shutil.copytree(f"{SOURCE}/stage", tag)
    lead_port, follow_port, keep_port = free_ports(3)
    start_x("1300x500")
    windows = set()

    def start(tag, x, **env):  # windowed, moved to x so that the mouse tells which one takes the keys
        s = Strata(tag, stage=tag, wait=0, STRATA_WINDOWED="1", STRATA_AUDIO="no-such-device",
                   STRATA_JOYSTICK=f"{WORK}/no-joystick", **env)
        s.expect("qelUnivCell::init -- loadModels()", f"{tag}: no start-up: {tail(s.err)}", 60)
        for _ in range(100):
            new = set(out("xdotool", "search", "--onlyvisible", "--name", "^Strata$").split()) - windows
            if new:
                break
            sleep(0.1)
        check(new, f"{tag}: no window")
        s.win = new.pop()
        windows.add(s.win)
        run("xdotool", "windowmove", s.win, x, 0)
        return s

    lead = start("lead", 0, STRATA_OSC=f"127.0.0.1:{lead_port}", STRATA_SCENE_FADE="300")
    press("F1", "Down", "Down", at=(639, 240), wait=0.3)  # layer 1 up: Cloud (before anyone follows)
    keep = start("keep", 650, STRATA_OSC=f"127.0.0.1:{keep_port}", STRATA_FOLLOW=f"127.0.0.1:{lead_port}",
                 STRATA_FOLLOW_KEEP="2")
    follower = start("follow", 650, STRATA_OSC=f"127.0.0.1:{follow_port}", STRATA_FOLLOW=f"127.0.0.1:{lead_port}")
    for s in (follower, keep):
        s.expect("follow: in step with the leader", f"{s.tag} never in step: {tail(s.err)}", 20, err=True)
    lead.expect("(2 of at most 8)", f"the leader did not see two followers: {tail(lead.err)}", err=True)
    press("e", "r", at=(100, 400), wait=0.3)  # keys on the leader's window, with the mouse
    press("ctrl+shift+2", wait=0.3)  # scene 2 stored on the leader only
    press("F2", "Down", "Down", "Down", "y", at=(500, 100), wait=0.3)
    press("ctrl+2", wait=1.5)  # the recall cross-fades; the followers have no scene 2 of their own
    check(not os.path.exists("follow/scenes/02.scene"), "the follower stored a scene of its own")
    press("F2", "Down", "q", "w", "Right", at=(300, 50), wait=0.3)  # layer 2 again: a module, keys, an image set
    osc(lead_port, "/strata/layer/3/opacity f 1.0", "/strata/layer/3/module s Tunnel", "/strata/ctl iif 4 20 0.5",
        "/strata/trail f 0.4", "/strata/layer/2/module i 5", "/strata/midi i 1", "/strata/select i 3")
    press("t", "F3", at=(20, 20), wait=1)
    lead_scene = stored_scene(lead, lead_port, "lead/scenes/99.scene")
    follow_scene = stored_scene(follower, follow_port, "follow/scenes/99.scene")
    check(len(lead_scene) > 30 and lead_scene == follow_scene,
          f"the tables differ: {sorted(set(lead_scene) ^ set(follow_scene))[:8]}")
    keep_scene = stored_scene(keep, keep_port, "keep/scenes/99.scene")
    layer2 = re.compile(r"^(cell 1 |value 1 )")
    differ = set(lead_scene) ^ set(keep_scene)
    check(differ and all(layer2.match(line) for line in differ),
          f"the kept layer: {sorted(line for line in differ if not layer2.match(line))[:8] or 'no difference'}")
    for s, x in ((follower, 800), (lead, 20), (keep, 800)):  # the leader's Esc ends the leader only
        check(not found(s.err, "asking the leader|not applied here"), f"{s.tag}: {tail(s.err)}")
        press("Escape", at=(x, 200))
        check(s.status() == 0, f"{s.tag}: no exit status 0 after Esc")
        if s is follower:  # silent from now on: forgotten within about five seconds
            began = time.time()
            lead.expect("follow: a follower went silent; 1 left", f"the leader kept a follower gone: {tail(lead.err)}",
                        8, err=True)
            gone = time.time() - began
    return f"{len(lead_scene)} scene lines equal; {len(differ)} differ on the kept layer only; a follower gone " \
        f"forgotten after {gone:.1f} s"


def picture_corners(path):
    """The corners of the lit picture in a screenshot (top-left, top-right, bottom-right, bottom-left): its points
    furthest along the four diagonals, each row's first and last lit pixel looked at."""
    width = int(out("identify", "-format", "%w", path))
    data = subprocess.run(["convert", path, "-separate", "-evaluate-sequence", "max", "-threshold", "4%", "-depth", "8",
                           "gray:-"], stdout=subprocess.PIPE).stdout
    ends = [(y, row.find(255), row.rfind(255)) for y, row in
            ((y, data[y * width:(y + 1) * width]) for y in range(len(data) // width)) if row.find(255) >= 0]
    check(ends, f"{path}: nothing lit")
    return [min(((x0, y) for y, x0, _ in ends), key=lambda p: p[0] + p[1]),
            max(((x1, y) for y, _, x1 in ends), key=lambda p: p[0] - p[1]),
            max(((x1, y) for y, _, x1 in ends), key=lambda p: p[0] + p[1]),
            max(((x0, y) for y, x0, _ in ends), key=lambda p: p[1] - p[0])]


def mapped_at(path, pin, box=(0, 32, 1280, 960)):
    """The picture's corners in a screenshot within 2 pixels of where the mapping puts them in the letterbox."""
    expected = [(box[0] + x * box[2], box[1] + y * box[3]) for x, y in zip(pin[0::2], pin[1::2])]
    seen = picture_corners(path)
    check(all(abs(a - b) <= 2 and abs(c - d) <= 2 for (a, c), (b, d) in zip(seen, expected)),
          f"{os.path.basename(path)}: corners at {seen}, expected {[(round(x), round(y)) for x, y in expected]}")


def saved_pin(path):
    """The default output's corners in a mapping file, or None when the file is not one whole mapping file."""
    rows = [line.split() for line in lines(path) if line.strip() and not line.startswith("#")]
    whole = text(path).endswith("\n") and len(rows) == 1 and rows[0][0] == "default" and len(rows[0]) == 9
    return [float(v) for v in rows[0][1:]] if whole else None


def same_pin(a, b):  # OSC carries 32-bit floats
    return a is not None and b is not None and all(abs(x - y) < 1e-6 for x, y in zip(a, b))


def cornerpin():
    """The output mapping: a mapping in output.map at start warps the lit picture (Waver on layer 1) to its corners
    on a 1280x1024 screen, and its window dump with it while the plain dump stays 640x480; a mapping sent over OSC
    (read back by OSCQuery) moves it, and is saved a second later; R in mapping mode (Alt+M) resets it.
    Then killed with -9 amid changes, again and again: the file is always one whole mapping sent."""
    check(shutil.which("oscsend"), "oscsend (liblo-tools) is not installed")
    shutil.copytree(f"{SOURCE}/stage", "stage")
    first, second = [0.05, 0.1, 0.9, 0.0, 0.95, 0.95, 0.1, 0.85], [0.2, 0.05, 0.85, 0.15, 0.8, 0.9, 0.0, 1.0]
    write("stage/output.map", "# a projector\ndefault " + " ".join(map(str, first)) + "\n")
    port, = free_ports(1)
    start_x("1280x1024")
    # At most 30 frames a second: frame 150 comes at least 5 s in, well after F1 has raised the layer.
    s = Strata("pin", STRATA_OSC=f"127.0.0.1:{port}", STRATA_DUMP_FRAMES="150", STRATA_DUMP_WARPED="1",
               STRATA_DUMP_DIR=f"{WORK}/dumps", STRATA_FPS="30")
    s.expect("strata: output default mapped by output.map", f"no mapping at start: {tail(s.err)}", err=True)
    press("F1", at=(1279, 500), wait=2)
    mapped_at(shot("file.png"), first)
    s.expect("frame 150 as the window shows it dumped", f"no window dump: {tail(s.err)}", 20, err=True)
    mapped_at(f"{WORK}/dumps/frame-000150-window.png", first)
    plain = f"{WORK}/dumps/frame-000150.png"
    check(out("identify", "-format", "%wx%h", plain) == "640x480" and brightness(plain, "4x4+0+0") > 0 and
          brightness(plain, "4x4+636+476") > 0, "the plain dump is not the whole unwarped picture")
    osc(port, *(f"/strata/output/corner iff {n + 1} {second[2 * n]} {second[2 * n + 1]}" for n in range(4)))
    sleep(1)
    mapped_at(shot("osc.png"), second)
    check(get(port, "/strata/output/corner/2/y?VALUE")[1].strip() == '{"VALUE":[0.15]}', "OSCQuery's corner")
    for _ in range(30):
        if same_pin(saved_pin("stage/output.map"), second):
            break
        sleep(0.1)
    check(same_pin(saved_pin("stage/output.map"), second), f"not saved: {text('stage/output.map')}")
    # In mapping mode R resets it; Alt+M leaves; the plain present is back.
    s.after("alt+m", "output mapping mode on", "no mapping mode", err=True)
    press("Tab", "r", "alt+m", wait=1)
    s.expect("output mapping mode off", "Alt+M did not leave mapping mode", err=True)
    letterboxed(shot("reset.png"), "reset")
    s.end()
    check(saved_pin("stage/output.map") == [0, 0, 1, 0, 1, 1, 0, 1], "the reset is not saved at exit")

    sent = [[0, 0, 1, 0, 1, 1, 0, 1]]
    for attempt in range(3):
        k = Strata(f"kill{attempt}", STRATA_OSC=f"127.0.0.1:{port}", wait=60)
        for n in range(4):
            pin = [0.01 * (n + 1) + 0.001 * attempt, 0, 1, 0, 1, 1, 0, 1]
            sent.append(pin)
            osc(port, f"/strata/output/corner iff 1 {pin[0]} 0")
            sleep(1.0 + 0.013 * (n + attempt))  # each settles, so a write is due at about every send
        k.proc.kill()
        k.proc.wait()
        saved = saved_pin("stage/output.map")
        check(any(same_pin(saved, pin) for pin in sent), f"a cut file after kill -9: {text('stage/output.map')!r}")
    return f"corners within 2 px from the file and over OSC; whole after 3 kills: {saved_pin('stage/output.map')}"


if __name__ == "__main__":
    main({f.__name__: f for f in (nodisplay, operator, stage, video, record, wholeshow, hostile, follow, cornerpin)})
