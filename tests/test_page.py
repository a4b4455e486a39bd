#!/usr/bin/env python3
"""The browser page (web/), driven in headless Chromium as a user drives it.

    test_page.py --page build/web/page/index.html --native build/test/tafelix
                 --write-bitmap build/test/tests/write_bitmap [--measure]

For each row below it writes a bitmap (tests/write_bitmap.cpp, damaged by a
byte patch for the rejection rows), chooses it on the page opened from
file://, and requires the console lines, the exit status and the bytes behind
the download link to equal the native program's for the same arguments
(`<file> <name>.h <name> [-wt]`, run in the bitmap's folder), and the preview
canvas to hold the picture's pixels (-1 transparent). It keeps a screenshot
in the page's build folder and requires that the page fetched nothing but
file:, data: and blob: URLs. --measure also converts a 4096 x 4096 bitmap and
prints the page's and the native program's times; it asserts no time.
"""
import argparse
import base64
import hashlib
import json
import os
import re
import statistics
import struct
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
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

# file name, array name the page must prefill, name typed over it (None:
# keep it), write_bitmap arguments, damage, flags: -wt; drop (the file is
# dropped on the page instead of chosen); shot (keep a screenshot after it)
CASES = [
    ("int.bmp", "int_", None, "1 4 11", None, ""),
    ("w2.bmp", "w2", None, "2 3 12 --top-down", None, "-wt"),
    ("w3 up.bmp", "w3_up", None, "3 5 13", None, "drop"),
    ("4-wide.bmp", "_4_wide", "four", "4 2 14 --top-down", None, ""),
    ("w5.BMP", "w5", None, "5 3 15", None, "-wt drop"),
    ("w5v5.bmp", "w5v5", None, "5 4 16 --top-down --v5", None, ""),
    ("large.bmp", "large", None, "1021 767 17 --top-down", None, "-wt"),
    ("sprite.bmp", "sprite", None, "23 17 18", None, "-wt shot"),
    ("short.bmp", "short_", None, "3 3 19", SHORT, ""),
    ("type.bmp", "type", None, "3 3 20", WRONG_TYPE, ""),
    ("bits.bmp", "bits", None, "3 3 21", BIT_COUNT, "-wt"),
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
fetch(document.getElementById("download").href).then((r) => r.arrayBuffer()).then(async (buffer) => {
    const bytes = new Uint8Array(buffer);
    const digest = new Uint8Array(await crypto.subtle.digest("SHA-256", bytes));
    const hex = Array.from(digest, (b) => b.toString(16).padStart(2, "0")).join("");
    if (!arguments[0]) { done({hex}); return; }
    let s = "";
    for (let i = 0; i < bytes.length; i += 0x8000) s += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    done({hex, base64: btoa(s)});
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


def readme_meanings(readme):
    """The exit statuses and their meanings from the README's table."""
    with open(readme, encoding="utf-8") as f:
        return {int(m[1]): m[2].replace("`", "") for m in re.finditer(r"^\| (\d+) \| (.+?) \|$", f.read(), re.M)}


def run_native(native, folder, args):
    result = subprocess.run([native] + args, cwd=folder, capture_output=True, timeout=60)
    return result.stdout.decode("latin-1").splitlines(), result.returncode


def expected_rgba(values_file):
    out = bytearray()
    with open(values_file) as f:
        for line in f:
            v = int(line)
            out += b"\0\0\0\0" if v == -1 else bytes((v >> 16, (v >> 8) & 255, v & 255, 255))
    return bytes(out)


def start_browser(profile):
    options = webdriver.ChromeOptions()
    binary = "/usr/lib/chromium/chromium"
    options.binary_location = binary if os.path.exists(binary) else "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", "--user-data-dir=" + profile, "--window-size=1000,1300"):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"performance": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_script_timeout(120)
    return driver


def choose(driver, path, timeout=60, drop=False):
    """Chooses the file in the picker, or drops it; the page converts it at once."""
    runs = int(driver.execute_script("return document.body.dataset.runs || 0"))
    if drop:
        with open(path, "rb") as f:
            driver.execute_script(DROP, os.path.basename(path), base64.b64encode(f.read()).decode())
    else:
        driver.find_element(By.ID, "bitmap").send_keys(path)
    wait_runs(driver, runs + 1, timeout)
    return runs + 1


def wait_runs(driver, runs, timeout=60):
    WebDriverWait(driver, timeout).until(
        lambda d: int(d.execute_script("return document.body.dataset.runs || 0")) >= runs)


def check_case(driver, args, work, meanings, row):
    file_name, prefill, typed, geometry, damage, flags = row
    white = "-wt" in flags.split()
    folder = os.path.join(work, re.sub(r"\W", "_", file_name))
    os.mkdir(folder)
    path = os.path.join(folder, file_name)
    values = os.path.join(folder, "values.txt")
    subprocess.run([args.write_bitmap, path] + geometry.split() + ["--marked" if white else "--values", values],
                   check=True)
    if damage:
        with open(path, "rb") as f:
            data = damage(f.read())
        with open(path, "wb") as f:
            f.write(data)

    checkbox = driver.find_element(By.ID, "transparent-white")
    if checkbox.is_selected() != white:
        checkbox.click()
    runs = choose(driver, path, drop="drop" in flags.split())
    field = driver.find_element(By.ID, "name")
    problems = []
    if field.get_attribute("value") != prefill:
        problems.append("prefilled name %r" % field.get_attribute("value"))
    name = prefill
    if typed is not None:
        field.clear()
        field.send_keys(typed)
        driver.find_element(By.ID, "convert").click()
        wait_runs(driver, runs + 1)
        name = typed

    cli = [file_name, name + ".h", name] + (["-wt"] if white else [])
    lines, status = run_native(args.native, folder, cli)
    text = lambda id_: driver.execute_script("return document.getElementById(arguments[0]).textContent", id_)
    if text("messages").split("\n") != lines:
        problems.append("messages %r, console %r" % (text("messages"), lines))
    if text("status") != str(status):
        problems.append("status %s, console %d" % (text("status"), status))
    if status not in meanings or meanings[status] not in text("meaning"):
        problems.append("meaning of %d: %r" % (status, text("meaning")))

    link = driver.find_element(By.ID, "download")
    width, height, rgba = driver.execute_script(READ_CANVAS)
    if status == 0:
        with open(os.path.join(folder, name + ".h"), "rb") as f:
            native_bytes = f.read()
        got = driver.execute_async_script(READ_HREF, True)
        if "base64" not in got or base64.b64decode(got["base64"]) != native_bytes:
            problems.append("download differs from the console program's %d bytes" % len(native_bytes))
        if link.get_attribute("download") != name + ".h":
            problems.append("download name %r" % link.get_attribute("download"))
        want = expected_rgba(values)
        cols, rows = int(geometry.split()[0]), int(geometry.split()[1])
        if (width, height) != (cols, rows) or base64.b64decode(rgba) != want:
            problems.append("preview %dx%d differs from the %dx%d picture" % (width, height, cols, rows))
        if not text("dimensions").startswith("%d x %d pixels, %d values" % (cols, rows, cols * rows)):
            problems.append("dimensions %r" % text("dimensions"))
        head = native_bytes.decode("latin-1").split("\r\n")[:2]
        if text("text").split("\n")[:2] != head:
            problems.append("text %r" % text("text")[:80])
    else:
        if link.get_attribute("href") or link.is_displayed() or (width, height) != (0, 0):
            problems.append("a download or preview after a failure")
    if "shot" in flags.split():
        driver.save_screenshot(os.path.join(os.path.dirname(args.page), "..", "page-screenshot.png"))
    print("%-4s %-12s %-28s %-9s -> %d %s" % ("ok" if not problems else "FAIL", file_name, geometry, flags,
                                               status, "; ".join(problems)))
    return not problems


def measure(driver, args, work):
    folder = os.path.join(work, "measure")
    os.mkdir(folder)
    path = os.path.join(folder, "big.bmp")
    subprocess.run([args.write_bitmap, path, "4096", "4096", "4096"], check=True)
    checkbox = driver.find_element(By.ID, "transparent-white")
    if checkbox.is_selected():
        checkbox.click()
    runs = choose(driver, path, timeout=300)
    page = []
    for again in range(3):
        if again:
            driver.find_element(By.ID, "convert").click()
            runs += 1
            wait_runs(driver, runs, timeout=300)
        page.append(driver.execute_script("return [+document.body.dataset.mainMs, +document.body.dataset.totalMs]"))
    got = driver.execute_async_script(READ_HREF, False)
    times = []
    for _ in range(3):
        started = time.perf_counter()
        run_native(args.native, folder, ["big.bmp", "big.h", "big"])
        times.append(time.perf_counter() - started)
    with open(os.path.join(folder, "big.h"), "rb") as f:
        same = hashlib.sha256(f.read()).hexdigest() == got.get("hex")
    print("4096 x 4096, medians of 3: page %.0f ms in the main routine, %.0f ms from choosing to the "
          "drawn preview; console program %.0f ms; same bytes: %s"
          % (statistics.median(p[0] for p in page), statistics.median(p[1] for p in page),
             statistics.median(times) * 1000, same))
    return same


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--page", required=True)
    parser.add_argument("--native", required=True)
    parser.add_argument("--write-bitmap", required=True)
    parser.add_argument("--readme", default=os.path.join(os.path.dirname(__file__), "..", "README.md"))
    parser.add_argument("--measure", action="store_true")
    args = parser.parse_args()
    args.page = os.path.abspath(args.page)
    args.native = os.path.abspath(args.native)
    args.write_bitmap = os.path.abspath(args.write_bitmap)
    meanings = readme_meanings(args.readme)

    with tempfile.TemporaryDirectory() as work:
        driver = start_browser(os.path.join(work, "profile"))
        try:
            driver.get("file://" + args.page)
            passed = sum(check_case(driver, args, work, meanings, row) for row in CASES)
            if args.measure:
                passed += measure(driver, args, work)
            fetched = set()
            for entry in driver.get_log("performance"):
                message = json.loads(entry["message"])["message"]
                # The browser's own pages (its new tab) are not the page's.
                if message["method"] == "Network.requestWillBeSent" and \
                        message["params"].get("documentURL", "").startswith("file:"):
                    fetched.add(message["params"]["request"]["url"].split(":", 1)[0])
        finally:
            driver.quit()
    foreign = fetched - {"file", "data", "blob"}
    print("URL schemes the page fetched: %s" % ", ".join(sorted(fetched)))
    total = len(CASES) + args.measure
    print("test_page: %d of %d bitmaps passed%s" % (passed, total, "; it went to the network" if foreign else ""))
    return 0 if passed == total and not foreign and "file" in fetched else 1


if __name__ == "__main__":
    sys.exit(main())
