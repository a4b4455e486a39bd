#!/usr/bin/env python3
"""The browser page (web/), driven in headless Chromium, or WebKitGTK, as a user drives it.

    test_page.py --page build/web/page/index.html --native build/test/tafelix
                 --write-bitmap build/test/tests/write_bitmap --size-script cmake/tafelix-size.cmake
                 [--axe axe.min.js] [--browser chromium|webkit] [--measure]

For each row below it writes a bitmap (tests/write_bitmap.cpp, damaged by a
byte patch for the rejection rows) or a picture (ImageMagick), chooses it on
the page opened from file://, and runs the native program, in the file's
folder with the same arguments (`<file> <name>.h <name> [-wt]`), on what the
page handed to its own copy: the file itself, or the 24-bit BMP the page made
of it and offers. Console lines, exit status and the bytes behind the links
must equal the native program's and the size script's; the preview canvas
must hold the array's values (-1 transparent); a made BMP the picture's own
pixels (over white). Then several files at once, refused names, a file the
browser cannot read, copy, the inspector, a phone-sized window, axe-core,
and that the page fetched nothing but file:, data: and blob: URLs. WebKitGTK
runs the rows marked "webkit". --measure also converts a 4096 x 4096 bitmap
and prints the page's and the native program's times; it asserts no time.
"""
import argparse
import base64
import hashlib
import json
import os
import random
import re
import statistics
import struct
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait


def patch(at, fmt, value):
    return lambda data: data[:at] + struct.pack(fmt, value) + data[at + struct.calcsize(fmt):]


# Damage done to a valid bitmap, one per rejection class of the decoder.
SHORT = lambda data: data[:20]                      # Datei zu kurz
WRONG_TYPE = patch(0, "<2s", b"MB")                 # typ falsch
BIT_COUNT = patch(28, "<H", 32)                     # bitcnt falsch
COMPRESSED = patch(30, "<I", 1)                     # compression falsch
IMPOSSIBLE = patch(18, "<i", -4)                    # Bildgroesse falsch
TRUNCATED = lambda data: data[:-7]                  # Bilddaten unvollstaendig


def picture(kind):
    """ImageMagick makes a picture from random pixels: a PNG with every kind
    of alpha (0, 255, between; a pure white opaque pixel for -wt), a GIF of
    two different frames, a JPEG (4:4:4, so that decoders agree)."""
    def make(path, geometry):
        cols, rows, seed = (int(v) for v in geometry.split())
        rng = random.Random(seed)
        args = []
        for n in range(2 if kind == "gif" else 1):
            raw = bytearray(rng.randrange(256) for _ in range(cols * rows * 4))
            for i in range(3, len(raw), 4):
                raw[i] = 255 if i % 12 == 3 else 0 if i % 20 == 7 else raw[i]
            raw[0:4] = b"\xff\xff\xff\xff"
            with open(path + ".%d.rgba" % n, "wb") as f:
                f.write(raw)
            args += ["-size", "%dx%d" % (cols, rows), "-depth", "8", "rgba:%s.%d.rgba" % (path, n)]
        args += {"png": [], "gif": ["-alpha", "off", "-loop", "0"],
                 "jpg": ["-alpha", "off", "-quality", "95", "-sampling-factor", "1x1"]}[kind]
        subprocess.run(["convert"] + args + [path], check=True)
    return make


# file name, array name the page must prefill, name typed over it (None:
# keep it), geometry (write_bitmap arguments, or width height seed of a
# picture), damage (or picture maker), flags: -wt; drop (the file is dropped
# on the page instead of chosen); made (the page must make a BMP of it; a
# 24-bit BMP it must not); phone (no sideways scroll at 390 px after it);
# shot (that, and screenshots); copy, inspect (try them after it); webkit
# (run in WebKitGTK too)
CASES = [
    ("int.bmp", "int_", None, "1 4 11", None, "webkit"),
    ("w2.bmp", "w2", None, "2 3 12 --top-down", None, "-wt"),
    ("w3 up.bmp", "w3_up", None, "3 5 13", None, "drop"),
    ("4-wide.bmp", "_4_wide", "four", "4 2 14 --top-down", None, ""),
    ("w5.BMP", "w5", None, "5 3 15", None, "-wt drop"),
    ("w5v5.bmp", "w5v5", None, "5 4 16 --top-down --v5", None, ""),
    ("large.bmp", "large", None, "1021 767 17 --top-down", None, "-wt phone"),
    ("sprite.bmp", "sprite", None, "23 17 18", None, "-wt copy inspect"),
    ("alpha.png", "alpha", None, "7 5 31", picture("png"), "-wt made shot webkit"),
    ("two frames.gif", "two_frames", None, "5 3 32", picture("gif"), "made drop"),
    ("photo.jpeg", "photo", "jpeg", "16 9 33", picture("jpg"), "made"),
    ("short.bmp", "short_", None, "3 3 19", SHORT, "webkit"),
    ("type.bmp", "type", None, "3 3 20", WRONG_TYPE, ""),
    ("bits.bmp", "bits", None, "3 3 21", BIT_COUNT, "-wt"),   # the browser may read it as 32 bits
    ("rle.bmp", "rle", None, "3 3 22", COMPRESSED, ""),
    ("size.bmp", "size", None, "3 3 23", IMPOSSIBLE, ""),
    ("cut.bmp", "cut", None, "5 5 24 --top-down", TRUNCATED, ""),
    ("same.h", "same", None, "2 2 25", None, ""),  # the output is the input
]

# A drop of a file on the page's drop zone, as a browser delivers it.
DROP = """
const bytes = Uint8Array.from(atob(arguments[1]), (c) => c.charCodeAt(0));
const transfer = new DataTransfer();
transfer.items.add(new File([bytes], arguments[0]));
document.getElementById("drop").dispatchEvent(new DragEvent("drop", {dataTransfer: transfer, bubbles: true, cancelable: true}));
"""

READ_HREF = """
const done = arguments[arguments.length - 1];
fetch(document.getElementById(arguments[0]).href).then((r) => r.arrayBuffer()).then(async (buffer) => {
    const bytes = new Uint8Array(buffer);
    if (!arguments[1]) {
        const digest = new Uint8Array(await crypto.subtle.digest("SHA-256", bytes));
        done({hex: Array.from(digest, (b) => b.toString(16).padStart(2, "0")).join("")});
        return;
    }
    let s = "";
    for (let i = 0; i < bytes.length; i += 0x8000) s += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    done({base64: btoa(s)});
}, (error) => done({error: String(error)}));
"""

READ_CANVAS = """
const canvas = document.getElementById("preview");
if (canvas.width === 0 || canvas.height === 0) return [canvas.width, canvas.height, ""];
const bytes = canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data;
let s = "";
for (let i = 0; i < bytes.length; i += 0x8000) s += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
return [canvas.width, canvas.height, btoa(s)];
"""

READ_CLIPBOARD = """
const done = arguments[arguments.length - 1];
navigator.clipboard.readText().then(done, (error) => done("no clipboard: " + error));
"""


def readme_meanings(readme):
    """The exit statuses and their meanings from the README's table, as the
    page gives them (it never prints the usage text)."""
    with open(readme, encoding="utf-8") as f:
        return {int(m[1]): m[2].replace("`", "").replace(", or the usage text was printed", "")
                for m in re.finditer(r"^\| (\d+) \| (.+?) \|$", f.read(), re.M)}


def run_native(native, folder, args):
    result = subprocess.run([native] + args, cwd=folder, capture_output=True, timeout=60)
    return result.stdout.decode("latin-1").splitlines(), result.returncode


def rgba_of_values(values):
    return b"".join(b"\0\0\0\0" if v == -1 else bytes((v >> 16, (v >> 8) & 255, v & 255, 255)) for v in values)


def values_of_include(data):
    return [int(v) for v in re.findall(rb"-?\d+(?=,)", data.split(b"={", 1)[1])]


def bmp_rgb(data):
    """The pixels of a bottom-up 24-bit BMP as RGB rows, top row first."""
    offset, width, rows = struct.unpack_from("<I", data, 10)[0], *struct.unpack_from("<ii", data, 18)
    stride = (width * 3 + 3) & ~3
    out = bytearray()
    for y in reversed(range(rows)):
        row = data[offset + y * stride:offset + y * stride + width * 3]
        out += b"".join(row[i:i + 3][::-1] for i in range(0, len(row), 3))
    return width, rows, bytes(out)


def picture_differs(path, width, rows, rgb):
    """Why a made BMP does not hold the picture's first frame over white, as
    ImageMagick reads it (within 1; opaque pixels exactly), or None."""
    frame = path + "[0]"
    size = subprocess.run(["identify", "-format", "%w %h", frame], capture_output=True, check=True).stdout.split()
    over_white = subprocess.run(["convert", frame, "-set", "colorspace", "sRGB", "-background", "white",
                                 "-alpha", "remove", "-alpha", "off", "-depth", "8", "rgb:-"],
                                capture_output=True, check=True).stdout
    alpha = subprocess.run(["convert", frame, "-alpha", "extract", "-depth", "8", "gray:-"],
                           capture_output=True, check=True).stdout
    if [int(v) for v in size] != [width, rows] or len(rgb) != len(over_white):
        return "BMP of %dx%d, picture %s" % (width, rows, b"x".join(size).decode())
    for i, (got, want) in enumerate(zip(rgb, over_white)):
        if abs(got - want) > (0 if alpha[i // 3] == 255 else 1):
            return "pixel %d: %d, picture %d (alpha %d)" % (i // 3, got, want, alpha[i // 3])
    return None


def start_browser(kind, profile):
    if kind == "webkit":
        driver = webdriver.WebKitGTK()
        driver.set_window_size(1000, 1300)
    else:
        options = webdriver.ChromeOptions()
        binary = "/usr/lib/chromium/chromium"
        options.binary_location = binary if os.path.exists(binary) else "/usr/bin/chromium"
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--disable-dev-shm-usage", "--user-data-dir=" + profile, "--window-size=1000,1300"):
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"performance": "ALL"})
        driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        driver.execute_cdp_cmd("Browser.grantPermissions", {"permissions": ["clipboardReadWrite",
                                                                            "clipboardSanitizedWrite"]})
    driver.set_script_timeout(120)
    return driver


def runs(driver):
    return int(driver.execute_script("return document.body.dataset.runs || 0"))


def choose(driver, paths, timeout=60, drop=False):
    """Chooses the files in the picker, or drops one; the page converts them at once."""
    before = runs(driver)
    if drop:
        with open(paths[0], "rb") as f:
            driver.execute_script(DROP, os.path.basename(paths[0]), base64.b64encode(f.read()).decode())
    else:
        driver.find_element(By.ID, "bitmap").send_keys("\n".join(paths))
    wait_runs(driver, before + len(paths), timeout)
    return before + len(paths)


def wait_runs(driver, count, timeout=60):
    WebDriverWait(driver, timeout).until(lambda d: runs(d) >= count)


def text(driver, id_):
    return driver.execute_script("return document.getElementById(arguments[0]).textContent", id_)


def link_bytes(driver, id_):
    got = driver.execute_async_script(READ_HREF, id_, True)
    return base64.b64decode(got["base64"]) if "base64" in got else None


def check_case(driver, args, work, meanings, row):
    """One row: the page's result against the native program's; returns the problems."""
    file_name, prefill, typed, geometry, make, flags = row
    flags = flags.split()
    white = "-wt" in flags
    folder = os.path.join(work, re.sub(r"\W", "_", file_name))
    os.mkdir(folder)
    path = os.path.join(folder, file_name)
    values = os.path.join(folder, "values.txt")
    if make in (None, SHORT, WRONG_TYPE, BIT_COUNT, COMPRESSED, IMPOSSIBLE, TRUNCATED):
        subprocess.run([args.write_bitmap, path] + geometry.split() + ["--marked" if white else "--values", values],
                       check=True)
        if make:
            with open(path, "rb") as f:
                data = make(f.read())
            with open(path, "wb") as f:
                f.write(data)
    else:
        make(path, geometry)

    checkbox = driver.find_element(By.ID, "transparent-white")
    if checkbox.is_selected() != white:
        checkbox.click()
    done = choose(driver, [path], drop="drop" in flags)
    field = driver.find_element(By.ID, "name")
    problems = []
    if field.get_attribute("value") != prefill:
        problems.append("prefilled name %r" % field.get_attribute("value"))
    name = prefill
    if typed is not None:
        field.clear()
        field.send_keys(typed)
        driver.find_element(By.ID, "convert").click()
        wait_runs(driver, done + 1)
        name = typed

    # What the page handed to the program: the file, or the BMP it made of it.
    made = driver.find_element(By.ID, "bitmap-download")
    is_24_bit = file_name.endswith((".bmp", ".BMP", ".h")) and make is not BIT_COUNT
    if made.is_displayed():
        bmp = link_bytes(driver, "bitmap-download")
        folder = os.path.join(folder, "made")
        os.mkdir(folder)
        file_name = made.get_attribute("download")
        with open(os.path.join(folder, file_name), "wb") as f:
            f.write(bmp)
        if file_name != re.sub(r"\.[^.]*$", "", os.path.basename(path)) + ".bmp":
            problems.append("the made BMP is called %r" % file_name)
        differs = "made" in flags and picture_differs(path, *bmp_rgb(bmp))
        if differs:
            problems.append("made BMP: " + differs)
    if made.is_displayed() != ("made" in flags) and (is_24_bit or "made" in flags):
        problems.append("a BMP made" if made.is_displayed() else "no BMP made")

    cli = [file_name, name + ".h", name] + (["-wt"] if white else [])
    lines, status = run_native(args.native, folder, cli)
    if text(driver, "messages").split("\n") != lines:
        problems.append("messages %r, console %r" % (text(driver, "messages"), lines))
    if text(driver, "status") != str(status):
        problems.append("status %s, console %d" % (text(driver, "status"), status))
    if status not in meanings or "(%s)" % meanings[status] != text(driver, "meaning"):
        problems.append("meaning of %d: %r" % (status, text(driver, "meaning")))

    link = driver.find_element(By.ID, "download")
    width, height, rgba = driver.execute_script(READ_CANVAS)
    if status == 0:
        with open(os.path.join(folder, name + ".h"), "rb") as f:
            native_bytes = f.read()
        if link_bytes(driver, "download") != native_bytes:
            problems.append("download differs from the console program's %d bytes" % len(native_bytes))
        if link.get_attribute("download") != name + ".h":
            problems.append("download name %r" % link.get_attribute("download"))
        size_h = os.path.join(folder, "size.h")
        subprocess.run(["cmake", "-DBITMAP=" + os.path.join(folder, file_name), "-DNAME=" + name,
                        "-DOUT=" + size_h, "-P", args.size_script], check=True)
        with open(size_h, "rb") as f:
            if link_bytes(driver, "size-download") != f.read():
                problems.append("size header differs from the size script's")
        if driver.find_element(By.ID, "size-download").get_attribute("download") != name + "_size.h":
            problems.append("size header's name")
        if os.path.exists(values) and not made.is_displayed():
            with open(values) as f:
                want = [int(line) for line in f]
        else:
            want = values_of_include(native_bytes)
        if base64.b64decode(rgba) != rgba_of_values(want) or width * height != len(want):
            problems.append("preview %dx%d differs from the array's %d values" % (width, height, len(want)))
        cols = struct.unpack_from("<i", open(os.path.join(folder, file_name), "rb").read(), 18)[0]
        if not text(driver, "dimensions").startswith("%d x %d pixels, %d values" % (cols, len(want) // cols,
                                                                                   len(want))):
            problems.append("dimensions %r" % text(driver, "dimensions"))
        whole = native_bytes.decode("latin-1").replace("\r\n", "\n")
        shown = text(driver, "text")
        if shown != whole and (len(whole) <= 2 << 20 or not whole.startswith(shown) or not text(driver, "text-note")):
            problems.append("text %r..." % shown[:80])
        if "copy" in flags:
            driver.find_element(By.ID, "copy").click()
            WebDriverWait(driver, 10).until(lambda d: text(d, "copied"))
            if driver.execute_async_script(READ_CLIPBOARD) != native_bytes.decode("latin-1"):
                problems.append("the clipboard does not hold the file (%s)" % text(driver, "copied"))
        if "inspect" in flags:
            problems += check_inspector(driver, want, width)
    else:
        if link.get_attribute("href") or link.is_displayed() or (width, height) != (0, 0) or \
                driver.find_element(By.ID, "size-download").is_displayed():
            problems.append("a download or preview after a failure")
    if "shot" in flags or "phone" in flags:
        problems += check_layout(driver, args, "shot" in flags)
    print("%-4s %-15s %-28s %-22s -> %d %s" % ("ok" if not problems else "FAIL", row[0], geometry, " ".join(flags),
                                               status, "; ".join(problems)))
    return problems


def check_inspector(driver, values, width):
    """The readout for a pixel pointed at, and for the keyboard cursor."""
    def readout(x, y):
        v = values[y * width + x]
        return "x %d, y %d, index %d: %d" % (x, y, y * width + x, v) + \
            (" (pure white, transparent)" if v == -1 else " = 0x%06X" % v)
    problems = []
    canvas = driver.find_element(By.ID, "preview")
    scale = canvas.size["width"] / width
    x, y = 5, 7
    ActionChains(driver).move_to_element_with_offset(canvas, int((x + 0.5) * scale - canvas.size["width"] / 2),
                                                     int((y + 0.5) * scale - canvas.size["height"] / 2)).perform()
    if text(driver, "inspect") != readout(x, y):
        problems.append("pointing: %r, want %r" % (text(driver, "inspect"), readout(x, y)))
    canvas.send_keys(Keys.ARROW_RIGHT, Keys.ARROW_RIGHT, Keys.ARROW_DOWN, Keys.SHIFT + Keys.ARROW_RIGHT)
    if text(driver, "inspect") != readout(x + 12, y + 1):
        problems.append("keys: %r, want %r" % (text(driver, "inspect"), readout(x + 12, y + 1)))
    return problems


def check_layout(driver, args, shot):
    """No sideways scroll at 390 px; screenshots at both widths in the build folder."""
    problems = []
    shots = os.path.dirname(os.path.dirname(args.page))
    for width in (1000, 390):
        driver.set_window_size(width, 1300)
        wide = driver.execute_script("return [document.documentElement.scrollWidth, "
                                     "document.documentElement.clientWidth, innerWidth]")
        if wide[0] > wide[1]:
            problems.append("%d px wide page in a %d px window" % (wide[0], wide[2]))
        if width == 390 and wide[2] != 390:   # WebKitGTK's window under Xvfb stops at 447 px
            print("     (the narrowest window here is %d px wide)" % wide[2])
            if args.browser == "chromium":
                problems.append("no window of 390 px")
        if shot:
            driver.execute_script("document.getElementById('console-title').scrollIntoView()")
            driver.save_screenshot(os.path.join(shots, "page-%s-%s.png" % (args.browser, width)))
    driver.set_window_size(1000, 1300)
    return problems


def check_names(driver):
    """Names the build integrations refuse: a message, nothing converted or offered."""
    problems = []
    driver.find_elements(By.CSS_SELECTOR, "#files [data-file='int.bmp']")[-1].click()
    field = driver.find_element(By.ID, "name")
    for refused in ("my logo", "int", "", "9lives", "alignas", "_Decimal128", "tafelix-logo"):
        before = runs(driver)
        field.clear()
        field.send_keys(refused)
        driver.find_element(By.ID, "convert").click()
        if not text(driver, "problem") or runs(driver) != before or \
                driver.find_element(By.ID, "download").is_displayed() or text(driver, "messages"):
            problems.append("name %r was not refused" % refused)
    field.clear()
    field.send_keys("logo_2")
    before = runs(driver)
    driver.find_element(By.ID, "convert").click()
    wait_runs(driver, before + 1)
    if text(driver, "problem") or driver.find_element(By.ID, "download").get_attribute("download") != "logo_2.h":
        problems.append("a good name after refused ones: %r" % text(driver, "problem"))
    return problems


def check_several(driver, work, rows):
    """Three files chosen at once: one entry each, in turn; each shows its own result, also when
    chosen again after another (its picture then no longer in the memory it was made in)."""
    paths = [os.path.join(work, re.sub(r"\W", "_", row[0]), row[0]) for row in rows]
    choose(driver, paths)
    problems = []
    for row in rows + rows[:1]:
        entry = driver.find_elements(By.CSS_SELECTOR, "#files [data-file='%s']" % row[0])[-1]
        entry.click()
        if not text(driver, "messages").startswith("oeffne Datei:" + re.sub(r"\.png$", ".bmp", row[0])) or \
                driver.find_element(By.ID, "name").get_attribute("value") != row[1]:
            problems.append("entry %s shows %r" % (row[0], text(driver, "messages")[:40]))
        width, height, rgba = driver.execute_script(READ_CANVAS)
        if text(driver, "status") == "0" and \
                base64.b64decode(rgba) != rgba_of_values(values_of_include(link_bytes(driver, "download"))):
            problems.append("entry %s: the preview is not its array" % row[0])
    return problems


def check_unreadable(driver, work):
    """A file over 2 GiB (sparse): the page says so and clears the last result."""
    path = os.path.join(work, "huge.bmp")
    with open(path, "wb") as f:
        f.truncate(2 ** 31 + 1)
    choose(driver, [path])
    if not text(driver, "problem") or text(driver, "messages") or \
            driver.find_element(By.ID, "download").is_displayed():
        return ["file over 2 GiB: %r, console %r" % (text(driver, "problem"), text(driver, "messages"))]
    return []


def check_axe(driver, axe):
    with open(axe, encoding="utf-8") as f:
        driver.execute_script(f.read())
    result = driver.execute_async_script("""
const done = arguments[arguments.length - 1];
axe.run(document, {resultTypes: ["violations"]}).then((r) => done(r.violations.map((v) =>
    v.id + ": " + v.nodes.map((n) => n.target.join(" ")).join(", "))), (e) => done(["axe: " + e]));
""")
    return result


def measure(driver, args, work):
    folder = os.path.join(work, "measure")
    os.mkdir(folder)
    path = os.path.join(folder, "big.bmp")
    subprocess.run([args.write_bitmap, path, "4096", "4096", "4096"], check=True)
    checkbox = driver.find_element(By.ID, "transparent-white")
    if checkbox.is_selected():
        checkbox.click()
    done = choose(driver, [path], timeout=300)
    page = []
    for again in range(3):
        if again:
            driver.find_element(By.ID, "convert").click()
            done += 1
            wait_runs(driver, done, timeout=300)
        page.append(driver.execute_script("return [+document.body.dataset.mainMs, +document.body.dataset.totalMs]"))
    got = driver.execute_async_script(READ_HREF, "download", False)
    times = []
    for _ in range(3):
        started = time.perf_counter()
        run_native(args.native, folder, ["big.bmp", "big.h", "big"])
        times.append(time.perf_counter() - started)
    with open(os.path.join(folder, "big.h"), "rb") as f:
        same = hashlib.sha256(f.read()).hexdigest() == got.get("hex")
    print("4096 x 4096: page, first conversion %.0f ms in the main routine, %.0f ms from choosing to the drawn "
          "preview; again (medians of 2) %.0f ms, %.0f ms; console program %.0f ms (median of 3); same bytes: %s"
          % (page[0][0], page[0][1], statistics.median(p[0] for p in page[1:]),
             statistics.median(p[1] for p in page[1:]), statistics.median(times) * 1000, same))
    return same


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--page", required=True)
    parser.add_argument("--native", required=True)
    parser.add_argument("--write-bitmap", required=True)
    parser.add_argument("--size-script", required=True)
    parser.add_argument("--axe")
    parser.add_argument("--browser", choices=("chromium", "webkit"), default="chromium")
    parser.add_argument("--readme", default=os.path.join(os.path.dirname(__file__), "..", "README.md"))
    parser.add_argument("--version-from", default=os.path.join(os.path.dirname(__file__), "..", "CMakeLists.txt"))
    parser.add_argument("--measure", action="store_true")
    args = parser.parse_args()
    for name in ("page", "native", "write_bitmap", "size_script"):
        setattr(args, name, os.path.abspath(getattr(args, name)))
    meanings = readme_meanings(args.readme)
    chromium = args.browser == "chromium"
    rows = [row for row in CASES if chromium or "webkit" in row[5].split()]
    with open(args.version_from, encoding="utf-8") as f:
        version = re.search(r"project\(tafelix VERSION (\S+)", f.read())[1]

    failed = []
    fetched = set()
    with tempfile.TemporaryDirectory() as work:
        driver = start_browser(args.browser, os.path.join(work, "profile"))
        try:
            driver.get("file://" + args.page)
            if text(driver, "version") != version:
                failed.append("version %r, project %s" % (text(driver, "version"), version))
            if driver.find_element(By.ID, "bitmap").get_attribute("multiple") is None:
                failed.append("the file input takes one file")
            failed += [row[0] for row in rows if check_case(driver, args, work, meanings, row)]
            if chromium:
                for check, what in ((lambda: check_several(driver, work, [CASES[0], CASES[8], CASES[11]]), "several"),
                                    (lambda: check_names(driver), "names"),
                                    (lambda: check_unreadable(driver, work), "unreadable")):
                    problems = check()
                    print("%-4s %s %s" % ("FAIL" if problems else "ok", what, "; ".join(problems)))
                    failed += problems
            if args.axe:
                choose(driver, [os.path.join(work, "alpha_png", "alpha.png")])
                violations = check_axe(driver, args.axe)
                print("%-4s axe-core: %s" % ("FAIL" if violations else "ok", "; ".join(violations) or "no violations"))
                failed += violations
            if args.measure and not measure(driver, args, work):
                failed.append("the 4096 x 4096 include file")
            if chromium:
                for entry in driver.get_log("performance"):
                    message = json.loads(entry["message"])["message"]
                    # The browser's own pages (its new tab) are not the page's.
                    if message["method"] == "Network.requestWillBeSent" and \
                            message["params"].get("documentURL", "").startswith("file:"):
                        fetched.add(message["params"]["request"]["url"].split(":", 1)[0])
        finally:
            driver.quit()
    if chromium:
        print("URL schemes the page fetched: %s" % ", ".join(sorted(fetched)))
        if fetched - {"file", "data", "blob"} or "file" not in fetched:
            failed.append("it went to the network")
    print("test_page (%s): %d rows; %s" % (args.browser, len(rows), "failed: " + ", ".join(failed) if failed else
                                          "all passed"))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
