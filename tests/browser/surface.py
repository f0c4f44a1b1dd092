#!/usr/bin/python3
"""The control surface page in headless Chromium against the real instrument
under Xvfb (loopback only):
    surface.py browser STRATA SOURCE_DIR WORK_DIR
A fader moves the instrument, a picker names a module, a scene comes back, a
key on the instrument shows on the page (the delay is printed), the page
survives a restart of the instrument, and both layouts hold their shape.
Screenshots go to WORK_DIR; STRATA_SURFACE_SHOTS=1 also copies them to doc/."""
import json
import signal
import os
import socket
import struct
import sys
import time
import urllib.request

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from driver import *  # noqa: E402,F401,F403 (the steps, the paths)
from selenium import webdriver  # noqa: E402
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support.ui import Select  # noqa: E402


def browser(width, height, phone=False):
    o = webdriver.ChromeOptions()
    for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", f"--window-size={width},{height}"):
        o.add_argument(a)
    d = webdriver.Chrome(options=o)
    atexit.register(d.quit)
    d.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {"width": width, "height": height, "deviceScaleFactor": 1,
                                                             "mobile": phone})
    return d


def until(what, why, seconds=5.0):
    """The first true value of what() within seconds, polled every 10 ms."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = what()
        if value:
            return value
        sleep(0.01)
    check(False, why)


def value(port, path):
    with urllib.request.urlopen(f"http://127.0.0.1:{port}{path}?VALUE", timeout=2) as reply:
        return json.load(reply)["VALUE"]


def udp(port, path, types, *args):
    pad = lambda b: b + b"\0" * (4 - len(b) % 4)  # noqa: E731
    body = b"".join(struct.pack(">f", a) if t == "f" else struct.pack(">i", a) for t, a in zip(types, args))
    socket.socket(socket.AF_INET, socket.SOCK_DGRAM).sendto(pad(path.encode()) + pad(b"," + types.encode()) + body,
                                                            ("127.0.0.1", port))


def ctl(d, path, tag="input"):
    return d.find_element(By.CSS_SELECTOR, f'.ctl[data-path="{path}"] {tag}')


def status(d):
    return d.find_element(By.ID, "status").text


def start(port, host="127.0.0.1", **env):
    s = Strata("strata", stage="stage", wait=60, STRATA_OSC=f"{host}:{port}", **env)
    s.expect(f"OSC: listening on {host}:{port}", f"OSC not listening: {tail(s.err)}", err=True)
    return s


def shapes(d):
    """Where the strips stand and the smallest height of a strip's targets."""
    return d.execute_script("""const r = [...document.querySelectorAll('.strip')].map(s => s.getBoundingClientRect());
        const t = [...document.querySelectorAll('.strip input, .strip select, .strip button')].map(e => e.offsetHeight);
        return {tops: r.map(b => Math.round(b.top)), lefts: r.map(b => Math.round(b.left)), target: Math.min(...t)};""")


def scene(d, path, n):
    field = ctl(d, path)
    field.clear()
    field.send_keys(str(n))
    ctl(d, path, "button").click()


def near(get, want):
    return lambda: abs(float(get()) - want) < 1e-3


def surface():
    shutil.copytree(f"{SOURCE}/stage", "stage")
    (port,) = free_ports(1)
    start_x("640x480")
    s = start(port)
    page = f"http://127.0.0.1:{port}/ui"
    d = browser(1280, 800)
    d.get(page)
    until(lambda: status(d) == "online", f"the page is not online: {status(d)}")
    shown = set(d.execute_script("return [...document.querySelectorAll('.ctl')].map(e => e.dataset.path)"))
    missing = [n["FULL_PATH"] for n in nodes(port) if ("TYPE" in n or n.get("ACCESS")) and n["FULL_PATH"] not in shown]
    check(not missing and len(shown) > 60, f"{len(shown)} controls; none for {missing}")
    opacity = lambda: value(port, "/strata/layer/1/opacity")[0]  # noqa: E731

    # A fader dragged to the right: the tree reads it and the picture changes.
    dark = shot("dark.png")
    fader = ctl(d, "/strata/layer/1/opacity")
    ActionChains(d).move_to_element_with_offset(fader, fader.size["width"] // 2 - 4, 0).click_and_hold() \
        .move_by_offset(-2, 0).release().perform()
    moved = float(fader.get_attribute("value"))
    check(moved > 0.8, f"the fader did not move: {moved}")
    until(near(opacity, moved), "the tree does not read the fader")
    sleep(1.5)
    check(changed(dark, shot("raised.png"), 10) > 5000, "the picture did not change with the fader")

    # Held, the fader keeps the user's value against another sender; let go, it takes the instrument's.
    ActionChains(d).click_and_hold(fader).perform()
    held = float(fader.get_attribute("value"))
    sleep(0.3)
    udp(port, "/strata/layer/1/opacity", "f", 0.25)
    sleep(0.5)
    check(float(fader.get_attribute("value")) == held, "a held fader jumped to an incoming value")
    ActionChains(d).release().perform()
    until(near(lambda: fader.get_attribute("value"), 0.25), "the fader did not follow once let go", 2)

    # A toggle shows layer 2; a module picked by name; a scene stored, something changed, the scene recalled.
    ctl(d, "/strata/layer/2/shown", "button").click()
    until(lambda: value(port, "/strata/layer/2/shown") == [True], "the toggle did not show layer 2")
    Select(ctl(d, "/strata/layer/1/module", "select")).select_by_visible_text("Tunnel")
    until(lambda: value(port, "/strata/layer/1/module") == ["Tunnel"], "the tree does not name the module picked")
    scene(d, "/strata/scene/store", 7)
    until(lambda: os.path.isfile("stage/scenes/07.scene"), "the scene was not stored")
    udp(port, "/strata/layer/1/opacity", "f", 0.6)
    until(near(opacity, 0.6), "the opacity did not change")
    scene(d, "/strata/scene/recall", 7)
    until(near(opacity, 0.25), "the scene did not come back")
    until(near(lambda: fader.get_attribute("value"), 0.25), "the page does not show the scene")

    # A key on the instrument's window: the page marks the layer it selects. Timed from the key's send (xdotool
    # started) to the page's change (a MutationObserver; both wall clock); the instrument's frame time is the
    # slowest frame of the last second as its tree reports it right after each key.
    d.execute_script("""window.marks = []; new MutationObserver(() => { const s = document.querySelector('.strip.selected');
        window.marks.push([s ? Number(s.dataset.layer) : 0, performance.timeOrigin + performance.now()]); })
        .observe(document.getElementById('layers'), {subtree: true, attributes: true, attributeFilter: ['class']});""")
    delays, frames = [], []
    for key in ("F3", "F5", "F3", "F5", "F3"):
        sent = time.time() * 1000
        press(key, at=(320, 240))
        at = until(lambda: [t for n, t in d.execute_script("return window.marks") if n == int(key[1]) and t > sent],
                   f"{key} did not show on the page")
        delays.append(at[0] - sent)
        frames.append(until(lambda: slowest(port), "no frame time in the tree"))
        sleep(0.3)
    print(f"key to page: {min(delays):.0f}..{max(delays):.0f} ms (median {sorted(delays)[2]:.0f}); "
          f"the instrument's slowest frame {min(frames):.0f}..{max(frames):.0f} ms")
    for delay, frame in zip(delays, frames):
        check(delay < 100 + frame, f"a key took {delay:.0f} ms to show (slowest frame {frame:.0f} ms)")

    # Layouts: laptop layers side by side; phone layers stacked, every target 44 px or more.
    laptop = shapes(d)
    check(len(set(laptop["tops"])) == 1 and len(laptop["tops"]) == 11, f"laptop strips not side by side: {laptop}")
    d.save_screenshot("surface-laptop.png")
    phone = browser(390, 844, phone=True)
    phone.get(page)
    until(lambda: status(phone) == "online", "the phone page is not online")
    p = shapes(phone)
    check(len(set(p["lefts"])) == 1 and p["tops"] == sorted(p["tops"]) and p["target"] >= 44, f"phone layout: {p}")
    sleep(0.3)
    phone.save_screenshot("surface-phone.png")
    if os.environ.get("STRATA_SURFACE_SHOTS") == "1":
        for name in ("surface-laptop.png", "surface-phone.png"):
            shutil.copy(name, f"{SOURCE}/doc/{name}")

    # The instrument stopped (a network gone silent, no socket closed): the page says so within its check's time.
    s.proc.send_signal(signal.SIGSTOP)
    until(lambda: "offline" in status(d), "the page did not notice a silent instrument", 9)
    s.proc.send_signal(signal.SIGCONT)
    until(lambda: status(d) == "online", "the page did not come back after the silence", 15)

    # The instrument ends: the page says so; started again on the same port, the page comes back by itself and works.
    s.end()
    until(lambda: "offline" in status(d), f"the page did not show offline: {status(d)}", 3)
    s = start(port)
    until(lambda: status(d) == "online", "the page did not reconnect", 10)
    d.find_element(By.CSS_SELECTOR, '.strip[data-layer="4"] .sel').click()
    until(lambda: value(port, "/strata/select") == [4], "the select button does not work after the restart")
    until(lambda: d.find_elements(By.CSS_SELECTOR, '.strip.selected[data-layer="4"]'), "no mark after the restart")

    # Bound off loopback (talking to it on loopback only) the socket needs the token: the open page stays offline;
    # the address with the token (which the instrument prints) sets the page's cookie, and the page works.
    s.end()
    token = "0123456789abcdef0123456789abcdef"
    s = start(port, "0.0.0.0", STRATA_TOKEN=token)
    s.expect(f"/ui?token={token}", "the page's address with the token is not printed", err=True)
    sleep(3)
    check("offline" in status(d), "the page went online without the token")
    d.get(f"{page}?token={token}")
    until(lambda: status(d) == "online", "the page with the token is not online", 10)
    d.find_element(By.CSS_SELECTOR, '.strip[data-layer="6"] .sel').click()
    until(lambda: value(port, "/strata/select") == [6], "the select button does not work with the token")
    s.end()
    return f"key to page {max(delays):.0f} ms at most"


def nodes(port):
    """Every node of the instrument's OSCQuery tree."""
    with urllib.request.urlopen(f"http://127.0.0.1:{port}/", timeout=2) as reply:
        todo = [json.load(reply)]
    while todo:
        yield todo[-1]
        todo += todo.pop().get("CONTENTS", {}).values()


def slowest(port):
    """The slowest frame time in ms the instrument's tree reports, or None."""
    return next((float(n["VALUE"][0]) for n in nodes(port) if "slow" in n.get("FULL_PATH", "") and n.get("VALUE")), None)


if __name__ == "__main__":
    main({"browser": surface})
