#!/usr/bin/env python3
"""The browser page (web/), driven in headless Chromium, Firefox or WebKitGTK, as a user drives it.

    test_page.py --page build/web/page/index.html --native build/test/tafelix
                 --write-bitmap build/test/tests/write_bitmap [--npm build/npm/node_modules]
                 [--browser chromium|firefox|webkit] [--measure]

For each row below it writes a bitmap (tests/write_bitmap.cpp, damaged by a
byte patch for the rejection rows) or a picture (ImageMagick), chooses it on
the page opened from file://, and runs the native program, in the file's
folder with the same arguments (`<file> <name>.h <name> [-wt]`), on what the
page handed to its own copy: the file itself, or the 24-bit BMP the page made
of it and offers. Console lines, exit status and the bytes behind the links
must equal the native program's and the size script's; the preview canvas
must hold the array's values (-1 transparent); a made BMP the picture's own
pixels (over white). The include file and its size header must be byte for
byte what the make integration (share/tafelix/tafelix.mk, the native
program) makes of the same picture, name, -wt and background, and the
console lines come with the manual page's explanations. Then several files
at once, refused names, a file the browser cannot read, copy, the inspector,
Cancel, the page without a worker, a phone-sized window, axe-core (from
--npm, as Firefox's driver), and that the page fetched nothing but file:,
data: and blob: URLs. Firefox (tests/page/firefox.js) and WebKitGTK run the
rows marked "all". --measure converts a 4096 x 4096 bitmap and a 256 x 256
one and prints the page's and the native program's times and the page's
longest block; it asserts no time.
"""
import argparse
import base64
import hashlib
import json
import os
import random
import re
import shutil
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


def swapped_profile():
    """An ICC profile with red's and blue's primaries swapped: applied, it changes every colour."""
    xyz = lambda *v: b"XYZ \0\0\0\0" + b"".join(struct.pack(">i", round(x * 65536)) for x in v)
    tags = [(b"wtpt", xyz(0.9642, 1, 0.8249)), (b"rXYZ", xyz(0.1431, 0.0606, 0.7141)),
            (b"gXYZ", xyz(0.3851, 0.7169, 0.0971)), (b"bXYZ", xyz(0.4360, 0.2225, 0.0139))] + \
        [(trc, b"curv\0\0\0\0\0\0\0\x01\x02\x33\0\0") for trc in (b"rTRC", b"gTRC", b"bTRC")]
    table = b"".join(sig + struct.pack(">II", 132 + 12 * len(tags) + 20 * i, 20) for i, (sig, _) in enumerate(tags))
    body = b"".join(data.ljust(20, b"\0") for _, data in tags)
    return struct.pack(">I4sI4s4s4s12s4s28x", 132 + len(table) + len(body), b"none", 0x02100000, b"mntr", b"RGB ",
                       b"XYZ ", bytes(12), b"acsp") + xyz(0.9642, 1, 0.8249)[8:] + bytes(48) + \
        struct.pack(">I", len(tags)) + table + body


def picture(options, depth=8, frames=1, levels=False, orientation=0, profile=False, keep=1):
    """ImageMagick writes a picture of random pixels with `options` (its
    name's prefix last): every kind of alpha (0, 255, between), or every
    alpha level in turn; the first pixel opaque pure white, for -wt. An
    EXIF orientation tag and an ICC profile go in when asked; the file is
    cut to `keep` of its bytes."""
    def make(path, geometry):
        cols, rows, seed = (int(v) for v in geometry.split())
        rng = random.Random(seed)
        size = depth // 8
        args = []
        for n in range(frames):
            raw = bytearray(rng.randrange(256) for _ in range(cols * rows * 4 * size))
            for i in range(cols * rows):
                alpha = i % 256 if levels else 255 if i % 3 == 0 else 0 if i % 5 == 1 else None
                if alpha is not None:
                    raw[(4 * i + 3) * size:(4 * i + 4) * size] = bytes([alpha]) * size
            raw[0:4 * size] = b"\xff" * 4 * size
            with open(path + ".%d.rgba" % n, "wb") as f:
                f.write(raw)
            args += ["-size", "%dx%d" % (cols, rows), "-depth", str(depth), "rgba:%s.%d.rgba" % (path, n)]
        subprocess.run(["convert"] + args + options[:-1] + [options[-1] + path], check=True)
        segments = [b"\xe1Exif\0\0MM\0*\0\0\0\x08\0\x01" + struct.pack(">HHIHH", 0x112, 3, 1, orientation, 0) +
                    bytes(4)] if orientation else []
        segments += [b"\xe2ICC_PROFILE\0\x01\x01" + swapped_profile()] if profile else []
        with open(path, "rb") as f:
            data = f.read()
        data = data[:2] + b"".join(b"\xff" + s[:1] + struct.pack(">H", len(s) + 1) + s[1:] for s in segments) + data[2:]
        with open(path, "wb") as f:
            f.write(data[:int(len(data) * keep)])
    make.picture = True
    return make


OPAQUE_JPEG = ["-alpha", "off", "-quality", "95", "-sampling-factor", "1x1"]

# file name, array name the page must prefill, name typed over it (None:
# keep it), geometry (write_bitmap arguments, or width height seed of a
# picture), damage (or picture maker), flags: -wt; drop (the file is dropped
# on the page instead of chosen); made (the page must make a BMP of it; a
# 24-bit BMP it must not); phone (no sideways scroll at 390 px after it);
# shot (that, and screenshots); copy, inspect (try them after it); all (run
# in Firefox and WebKitGTK too); bg=RRGGBB (the background); refused (the
# page refuses the file's kind or content, and so does make)
CASES = [
    ("int.bmp", "int_", None, "1 4 11", None, "all"),
    ("w2.bmp", "w2", None, "2 3 12 --top-down", None, "-wt"),
    ("w3 up.bmp", "w3_up", None, "3 5 13", None, "drop"),
    ("4-wide.bmp", "_4_wide", "four", "4 2 14 --top-down", None, ""),
    ("w5.BMP", "w5", None, "5 3 15", None, "-wt drop"),
    ("w5v5.bmp", "w5v5", None, "5 4 16 --top-down --v5", None, ""),
    ("large.bmp", "large", None, "1201 901 17 --top-down", None, "-wt phone copy"),
    ("sprite.bmp", "sprite", None, "23 17 18", None, "-wt copy inspect"),
    ("alpha.png", "alpha", None, "7 5 31", picture([""]), "-wt made shot all"),
    ("levels.png", "levels", None, "16 16 34", picture([""], levels=True), "made bg=204080 all"),
    ("white.png", "white", None, "16 16 34", picture([""], levels=True), "-wt made bg=FF00FF all"),
    ("deep.png", "deep", None, "6 4 35", picture(["PNG64:"], depth=16), "-wt made all"),
    ("palette.png", "palette", None, "5 4 36", picture(["PNG8:"]), "made bg=000000 all"),
    ("turned.jpg", "turned", None, "16 9 37", picture(OPAQUE_JPEG + [""], orientation=6), "made all"),
    ("cmyk.jpe", "cmyk", None, "8 6 38", picture(OPAQUE_JPEG + ["-colorspace", "CMYK", ""]), "made all"),
    ("two frames.gif", "two_frames", None, "5 3 32", picture(["-alpha", "off", "-loop", "0", ""], frames=2),
     "made drop"),
    ("offset.gif", "offset", None, "5 3 39", picture(["-repage", "9x7+3+2", ""]), "made bg=123456 all"),
    ("beyond.gif", "beyond", None, "6 6 43", picture(["-repage", "10x8+7+5", ""]), "made bg=FF00FF all"),
    ("profile.jpg", "profile", None, "16 9 44", picture(OPAQUE_JPEG + [""], profile=True), "made all"),
    ("cut.jpg", "cut", None, "16 9 45", picture(OPAQUE_JPEG + [""], keep=0.8), "refused all"),
    ("cut.gif", "cut", None, "9 7 46", picture([""], keep=0.7), "refused all"),
    ("photo.jpeg", "photo", "jpeg", "16 9 33", picture(OPAQUE_JPEG + [""]), "made"),
    ("lossless.webp", "lossless", None, "5 4 42", picture(["-alpha", "off", "-define", "webp:lossless=true", ""]),
     "made"),
    ("bits32.bmp", "bits32", None, "5 3 40", picture(["BMP:"]), "made bg=FF00FF all"),
    ("rle8.dib", "rle8", None, "6 4 41", picture(["-alpha", "off", "-type", "Palette", "-compress", "RLE", "BMP3:"]),
     "made"),
    ("short.bmp", "short_", None, "3 3 19", SHORT, "all"),
    ("type.bmp", "type", None, "3 3 20", WRONG_TYPE, ""),
    ("bits.bmp", "bits", None, "3 3 21", BIT_COUNT, "-wt"),   # the browser may read it as 32 bits
    ("rle.bmp", "rle", None, "3 3 22", COMPRESSED, ""),
    ("size.bmp", "size", None, "3 3 23", IMPOSSIBLE, ""),
    ("cut.bmp", "cut", None, "5 5 24 --top-down", TRUNCATED, ""),
    ("same.h", "same", None, "2 2 25", None, "refused"),
    ("bmp.png", "bmp", None, "2 2 26", None, "refused"),
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
const copy = new OffscreenCanvas(canvas.width, canvas.height).getContext("2d");
copy.drawImage(canvas, 0, 0);
const bytes = copy.getImageData(0, 0, canvas.width, canvas.height).data;
let s = "";
for (let i = 0; i < bytes.length; i += 0x8000) s += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
return [canvas.width, canvas.height, btoa(s)];
"""

READ_CLIPBOARD = """
const done = arguments[arguments.length - 1];
navigator.clipboard.readText().then(done, (error) => done("no clipboard: " + error));
"""


def manual(path):
    """The manual page's exit statuses ({status: meaning}, as the page gives
    them: without the usage text) and console messages ([(start, as shown,
    meaning)])."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    plain = lambda words: re.sub(r"\\[-%&]|\\\(..", lambda m: "-" if m[0] == "\\-" else "", " ".join(
        re.sub(r'^\.[BIR]+ |"| (?=\S+$)', "", line) if line.startswith(".") else line for line in words.split("\n")))
    sections = [re.findall(r'^\.TP\n\.BI? (?:"(.+)"( \w+)|(.+))\n((?:[^.].*\n|\.[BIR]+ .*\n)+)', text.split(
        "\n.SH " + heading + "\n")[1].split("\n.SH ")[0] + "\n", re.M) for heading in ("EXIT STATUS", "MESSAGES")]
    return ({int(term): plain(words).replace(", or the usage text was printed", "").strip()
             for _, _, term, words in sections[0]},
            [(start or term, (start or term) + rest.strip(), plain(words).strip())
             for start, rest, term, words in sections[1]])


def run_native(native, folder, args):
    result = subprocess.run([native] + args, cwd=folder, capture_output=True, timeout=60)
    return result.stdout.decode("latin-1").splitlines(), result.returncode


def rgba_of_values(values):
    return b"".join(b"\0\0\0\0" if v == -1 else bytes((v >> 16, (v >> 8) & 255, v & 255, 255)) for v in values)


def values_of_include(data):
    return [int(v) for v in re.findall(rb"-?\d+(?=,)", data.split(b"={", 1)[1])]


def make_integration(args, folder, path, name, white, background):
    """What share/tafelix/tafelix.mk and the native program make of the
    picture: (include file, size header), or None when the make fails. Make
    takes no blanks in names: the picture goes in under another stem."""
    work = os.path.join(folder, "make")
    os.mkdir(work)
    picture = "picture" + os.path.splitext(path)[1]
    shutil.copy(path, os.path.join(work, picture))
    with open(os.path.join(work, "Makefile"), "w") as f:
        f.write("include %s/share/tafelix/tafelix.mk\n$(eval $(call tafelix_bitmap,out/%s.h,%s,%s,%s%s))\n" % (
            args.source, name, picture, name, "-wt" if white else "", "," + background if background else ""))
    if subprocess.run(["make", "-s", "-C", work, "TAFELIX=" + args.native, "out/%s.h" % name, "out/%s_size.h" % name],
                      capture_output=True).returncode != 0:
        return None
    with open(os.path.join(work, "out", name + ".h"), "rb") as h, open(os.path.join(work, "out", name + "_size.h"),
                                                                         "rb") as size_h:
        return h.read(), size_h.read()


class Firefox:
    """The little of Selenium's driver this test uses, for Firefox through
    puppeteer-core over WebDriver BiDi (tests/page/firefox.js, one JSON
    command a line)."""
    def __init__(self, node_modules):
        self.node = subprocess.Popen(["node", os.path.join(os.path.dirname(__file__), "page", "firefox.js")],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                                     env=dict(os.environ, NODE_PATH=node_modules))

    def call(self, **command):
        self.node.stdin.write(json.dumps(command) + "\n")
        self.node.stdin.flush()
        answer = json.loads(self.node.stdout.readline())
        if "error" in answer:
            raise RuntimeError(answer["error"])
        return answer["value"]

    get = lambda self, url: self.call(op="open", url=url)
    execute_script = lambda self, source, *args: self.call(op="script", source=source, args=args)
    execute_async_script = lambda self, source, *args: self.call(op="script", source=source, args=args, wait=True)
    find_element = lambda self, by, value: Element(self, "#" + value if by == By.ID else value, 0)
    find_elements = lambda self, by, value: [Element(self, value, i) for i in range(self.execute_script(
        "return document.querySelectorAll(arguments[0]).length", value))]
    set_window_size = lambda self, width, height: self.call(op="viewport", width=width, height=height)
    save_screenshot = lambda self, path: self.call(op="screenshot", path=path)
    set_script_timeout = lambda self, seconds: None
    quit = lambda self: self.call(op="quit")


class Element:
    def __init__(self, browser, selector, index):
        self.browser, self.at = browser, dict(selector=selector, index=index)

    def js(self, body, *args):
        return self.browser.execute_script("const e = document.querySelectorAll(arguments[0])[arguments[1]]; " + body,
                                           self.at["selector"], self.at["index"], *args)

    get_attribute = lambda self, name: self.js("return arguments[2] === 'value' ? e.value : e.getAttribute(arguments[2])",
                                               name)
    is_displayed = lambda self: self.js("return e.getClientRects().length > 0")
    is_selected = lambda self: self.js("return e.checked")
    clear = lambda self: self.js("e.value = ''")
    click = lambda self: self.browser.call(op="click", **self.at)
    send_keys = lambda self, keys: self.browser.call(op="upload" if self.js("return e.type") == "file" else "type",
                                                     keys=keys.split("\n"), **self.at)


def start_browser(args, profile):
    if args.browser == "firefox":
        driver = Firefox(args.npm)
    elif args.browser == "webkit":
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


def settings(driver, row):
    """-wt and the background as the row has them."""
    checkbox = driver.find_element(By.ID, "transparent-white")
    if checkbox.is_selected() != ("-wt" in row[5].split()):
        checkbox.click()
    background = next((flag[3:] for flag in row[5].split() if flag.startswith("bg=")), "FFFFFF")
    driver.execute_script("const input = document.getElementById('background'); input.value = arguments[0]; "
                          "input.dispatchEvent(new Event('change'))", "#" + background.lower())


def check_case(driver, args, work, manual_page, row):
    """One row: the page's result against the native program's and the make
    integration's; returns the problems."""
    file_name, prefill, typed, geometry, make, flags = row
    flags = flags.split()
    white = "-wt" in flags
    background = next((flag[3:] for flag in flags if flag.startswith("bg=")), None)
    folder = os.path.join(work, re.sub(r"\W", "_", file_name))
    os.mkdir(folder)
    path = os.path.join(folder, file_name)
    values = os.path.join(folder, "values.txt")
    if getattr(make, "picture", False):
        make(path, geometry)
    else:
        subprocess.run([args.write_bitmap, path] + geometry.split() + ["--marked" if white else "--values", values],
                       check=True)
        if make:
            with open(path, "rb") as f:
                data = make(f.read())
            with open(path, "wb") as f:
                f.write(data)

    settings(driver, row)
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
    built = make_integration(args, folder, path, name, white, background)

    # What the page handed to the program: the file, or the BMP it made of it.
    made = driver.find_element(By.ID, "bitmap-download")
    is_24_bit = file_name.endswith((".bmp", ".BMP")) and make is not BIT_COUNT and make is not COMPRESSED
    if made.is_displayed():
        folder = os.path.join(folder, "made")
        os.mkdir(folder)
        file_name = made.get_attribute("download")
        with open(os.path.join(folder, file_name), "wb") as f:
            f.write(link_bytes(driver, "bitmap-download"))
        if file_name != re.sub(r"\.[^.]*$", "", os.path.basename(path)) + ".bmp":
            problems.append("the made BMP is called %r" % file_name)
    if made.is_displayed() != ("made" in flags) and (is_24_bit or "made" in flags):
        problems.append("a BMP made" if made.is_displayed() else "no BMP made")

    status = None
    if text(driver, "problem") or "refused" in flags:
        refusal = {".png": "%s is not a PNG picture",
                   ".jpg": "%s is a damaged JPEG picture: it ends before its end-of-image marker",
                   ".gif": "%s is a damaged GIF picture: it is cut short before its first image ends"}.get(
            os.path.splitext(row[0])[1], "%s: tafelix takes .png, .jpg, .jpeg, .jpe, .gif, .webp, .bmp and .dib pictures") % row[0]
        if text(driver, "messages") or ("refused" in flags and text(driver, "problem") != refusal):
            problems.append("problem %r, console %r" % (text(driver, "problem"), text(driver, "messages")))
    else:
        lines, status = run_native(args.native, folder, [file_name, name + ".h", name] + (["-wt"] if white else []))
        if text(driver, "messages").split("\n") != lines:
            problems.append("messages %r, console %r" % (text(driver, "messages"), lines))
        if text(driver, "status") != str(status):
            problems.append("status %s, console %d" % (text(driver, "status"), status))
        statuses, messages = manual_page
        if status not in statuses or "(%s)" % statuses[status] != text(driver, "meaning"):
            problems.append("meaning of %d: %r" % (status, text(driver, "meaning")))
        explained = driver.execute_script("return Array.from(document.querySelectorAll('#explain > *'), "
                                          "(e) => e.textContent)")
        want = [part for line in lines for start, shown, meaning in messages
                if line == start or (shown != start and line.startswith(start)) for part in (shown, meaning)]
        if explained != want:
            problems.append("explanations %r" % explained)
    if (built is not None) != (status == 0):
        problems.append("the make integration %s" % ("made it" if built else "failed"))

    link = driver.find_element(By.ID, "download")
    width, height, rgba = driver.execute_script(READ_CANVAS)
    if status == 0:
        with open(os.path.join(folder, name + ".h"), "rb") as f:
            native_bytes = f.read()
        if link_bytes(driver, "download") != native_bytes:
            problems.append("download differs from the console program's %d bytes" % len(native_bytes))
        if built and built[0] != native_bytes:
            problems.append("the include file differs from the make integration's")
        if link.get_attribute("download") != name + ".h":
            problems.append("download name %r" % link.get_attribute("download"))
        if built and link_bytes(driver, "size-download") != built[1]:
            problems.append("size header differs from the make integration's")
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
        scale = driver.execute_script("const c = document.getElementById('preview'); "
                                      "return [c.getBoundingClientRect().width / c.width, document.getElementById('zoom').options[0].text]")
        if scale[0] is None or scale[1] != "Fit (%g x)" % round(scale[0], 2):
            problems.append("the picture is drawn %g times as large, the zoom menu says %r" % tuple(scale))
        whole = native_bytes.decode("latin-1").replace("\r\n", "\n")
        shown = text(driver, "text")
        if shown != whole and (not whole.startswith(shown) or str(len(native_bytes)) not in
                               text(driver, "text-note").replace(",", "")):
            problems.append("text %r..., note %r" % (shown[:80], text(driver, "text-note")))
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
    print("%-4s %-15s %-28s %-22s -> %s %s" % ("ok" if not problems else "FAIL", row[0], geometry, " ".join(flags),
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
    """Three files chosen at once, each again: the chooser says how many, each keeps its one entry and
    shows its own result, also when chosen again after another."""
    paths = [os.path.join(work, re.sub(r"\W", "_", row[0]), row[0]) for row in rows]
    choose(driver, paths)
    problems = [] if text(driver, "chosen") == "3 files chosen" else ["the chooser says %r" % text(driver, "chosen")]
    for row in rows + rows[:1]:
        entries = driver.find_elements(By.CSS_SELECTOR, "#files [data-file='%s']" % row[0])
        if len(entries) != 1:
            problems.append("%d entries for %s" % (len(entries), row[0]))
        entries[-1].click()
        if not text(driver, "messages").startswith("oeffne Datei:" + re.sub(r"\.png$", ".bmp", row[0])) or \
                driver.find_element(By.ID, "name").get_attribute("value") != row[1]:
            problems.append("entry %s shows %r" % (row[0], text(driver, "messages")[:40]))
        width, height, rgba = driver.execute_script(READ_CANVAS)
        if text(driver, "status") == "0" and \
                base64.b64decode(rgba) != rgba_of_values(values_of_include(link_bytes(driver, "download"))):
            problems.append("entry %s: the preview is not its array" % row[0])
    # Shown again where the browser makes no bitmap: the page says so.
    driver.execute_script("window.made = createImageBitmap; createImageBitmap = () => Promise.reject(new Error())")
    driver.find_elements(By.CSS_SELECTOR, "#files [data-file='int.bmp']")[-1].click()
    if "drew none" not in text(driver, "dimensions") + driver.execute_script("createImageBitmap = made; return ''"):
        problems.append("no bitmap, yet %r" % text(driver, "dimensions"))
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
    # A conversion the page's own code fails ends its entry; the next converts.
    driver.execute_script("const convert = Bridge.convert; Bridge.convert = () => "
                          "(Bridge.convert = convert, Promise.reject(new Error('planted')))")
    choose(driver, [os.path.join(work, "int_bmp", "int.bmp")])
    failed = text(driver, "problem")
    choose(driver, [os.path.join(work, "int_bmp", "int.bmp")])
    return [] if failed == "The page failed: planted" and text(driver, "status") == "0" else \
        ["after a page failure: %r, then status %r" % (failed, text(driver, "status"))]


def check_cancel(driver, args, work):
    """Cancel while a large bitmap converts: the entry says so, nothing is offered, the next file converts."""
    path = os.path.join(work, "cancel.bmp")
    subprocess.run([args.write_bitmap, path, "4096", "4096", "7"], check=True)
    before = runs(driver)
    driver.find_element(By.ID, "bitmap").send_keys(path)
    WebDriverWait(driver, 30, 0.01).until(lambda d: d.execute_script("return document.body.dataset.busy") == "true")
    driver.find_element(By.ID, "cancel").click()
    wait_runs(driver, before + 1)
    state = text(driver, "files").split("cancel.bmp")[-1].strip()
    problems = [] if state == "cancelled" and not driver.find_element(By.ID, "download").is_displayed() else \
        ["after Cancel: %r, %r" % (state, text(driver, "problem"))]
    choose(driver, [os.path.join(work, "int_bmp", "int.bmp")])
    return problems + ([] if text(driver, "status") == "0" else ["no conversion after Cancel"])


def check_on_page(driver, args, work):
    """Where no worker starts, the page runs the program itself, to the same bytes; the settings
    last set come back with the page."""
    script = driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": "window.Worker = undefined;"})
    driver.refresh()
    problems = [] if driver.find_element(By.ID, "background").get_attribute("value") == "#ffffff" else \
        ["the background was not kept"]
    for row, made in ((CASES[0], ""), (next(row for row in CASES if row[0] == "palette.png"), "made")):
        settings(driver, row)
        choose(driver, [os.path.join(work, re.sub(r"\W", "_", row[0]), row[0])])
        with open(os.path.join(work, re.sub(r"\W", "_", row[0]), made, row[1] + ".h"), "rb") as f:
            if link_bytes(driver, "download") != f.read() or driver.execute_script("return Bridge.where()") != "page":
                problems.append("%s on the page: %r" % (row[0], text(driver, "messages")))
    driver.execute_cdp_cmd("Page.removeScriptToEvaluateOnNewDocument", script)
    driver.refresh()
    return problems


def check_axe(driver, axe):
    with open(axe, encoding="utf-8") as f:
        driver.execute_script(f.read())
    result = driver.execute_async_script("""
const done = arguments[arguments.length - 1];
axe.run(document, {resultTypes: ["violations"]}).then((r) => done(r.violations.map((v) =>
    v.id + ": " + v.nodes.map((n) => n.target.join(" ")).join(", "))), (e) => done(["axe: " + e]));
""")
    return result


# The longest time the page's main thread gave no turn to a timer.
HEARTBEAT = """
window.longest = 0;
let last = performance.now();
(function beat() { const now = performance.now(); longest = Math.max(longest, now - last); last = now;
                   setTimeout(beat, 0); })();
"""


def measure(driver, args, work):
    """Times to the drawn preview of a 4096 x 4096 bitmap (from choosing it, then twice with Convert) and of a
    256 x 256 one, the page's longest block meanwhile, beside the native program's; prints them, asserts none."""
    folder = os.path.join(work, "measure")
    os.mkdir(folder)
    settings(driver, CASES[0])
    driver.execute_script(HEARTBEAT)
    figures = {}
    for side in (4096, 256):
        path = os.path.join(folder, "big%d.bmp" % side)
        subprocess.run([args.write_bitmap, path, str(side), str(side), str(side)], check=True)
        driver.execute_script("longest = 0")
        done = choose(driver, [path], timeout=300)
        page = []
        for again in range(3):
            if again:
                driver.execute_script("longest = 0")
                driver.find_element(By.ID, "convert").click()
                done += 1
                wait_runs(driver, done, timeout=300)
            page.append(driver.execute_script("const d = document.body.dataset; "
                                              "return [+d.mainMs, +d.totalMs, +d.doneMs, longest]"))
        got = driver.execute_async_script(READ_HREF, "download", False)
        times = []
        for _ in range(3):
            started = time.perf_counter()
            run_native(args.native, folder, [os.path.basename(path), "big.h", "big%d" % side])
            times.append((time.perf_counter() - started) * 1000)
        with open(os.path.join(folder, "big.h"), "rb") as f:
            figures[side] = hashlib.sha256(f.read()).hexdigest() == got.get("hex")
        native = statistics.median(times)
        again = [statistics.median(p[i] for p in page[1:]) for i in range(4)]
        print("%d x %d (%s): first conversion %.0f ms in the main routine, %.0f ms to the drawn preview (%.1fx the "
              "console program), %.0f ms with the text; again (medians of 2) %.0f, %.0f (%.1fx), %.0f ms; longest "
              "block %.0f ms first, %.0f ms again; console program %.0f ms (median of 3); same bytes: %s"
              % (side, side, args.browser, page[0][0], page[0][1], page[0][1] / native, page[0][2], again[0],
                 again[1], again[1] / native, again[2], page[0][3], again[3], native, figures[side]))
    return all(figures.values())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--page", required=True)
    parser.add_argument("--native", required=True)
    parser.add_argument("--write-bitmap", required=True)
    parser.add_argument("--npm", help="node_modules with axe-core (and puppeteer-core for Firefox)")
    parser.add_argument("--browser", choices=("chromium", "firefox", "webkit"), default="chromium")
    parser.add_argument("--source", default=os.path.join(os.path.dirname(__file__), ".."))
    parser.add_argument("--measure", action="store_true")
    args = parser.parse_args()
    for name in ("page", "native", "write_bitmap", "source"):
        setattr(args, name, os.path.abspath(getattr(args, name)))
    manual_page = manual(os.path.join(args.source, "man", "tafelix.1.in"))
    chromium = args.browser == "chromium"
    rows = [row for row in CASES if chromium or "all" in row[5].split()]
    with open(os.path.join(args.source, "CMakeLists.txt"), encoding="utf-8") as f:
        version = re.search(r"project\(tafelix VERSION (\S+)", f.read())[1]

    failed = []
    fetched = set()
    with tempfile.TemporaryDirectory() as work:
        driver = start_browser(args, os.path.join(work, "profile"))
        try:
            driver.get("file://" + args.page)
            if text(driver, "version") != version:
                failed.append("version %r, project %s" % (text(driver, "version"), version))
            if driver.find_element(By.ID, "bitmap").get_attribute("multiple") is None or \
                    driver.find_element(By.ID, "console").is_displayed():
                failed.append("the file input takes one file, or the console shows before a file")
            failed += [row[0] for row in rows if check_case(driver, args, work, manual_page, row)]
            several = [row for row in CASES if row[0] in ("int.bmp", "alpha.png", "short.bmp")]
            for check, what in ((lambda: check_several(driver, work, several), "several"),
                                (lambda: check_names(driver), "names"),
                                (lambda: check_unreadable(driver, work), "unreadable"),
                                (lambda: check_cancel(driver, args, work), "cancel"),
                                (lambda: check_on_page(driver, args, work), "without a worker"))[:None if chromium else 0]:
                problems = check()
                print("%-4s %s %s" % ("FAIL" if problems else "ok", what, "; ".join(problems)))
                failed += problems
            if args.npm:
                choose(driver, [os.path.join(work, "alpha_png", "alpha.png")])
                violations = check_axe(driver, os.path.join(args.npm, "axe-core", "axe.min.js"))
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
