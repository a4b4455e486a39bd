// The view of one conversion: console lines and status, the array as a
// picture with zoom and a pixel inspector, the text, and the downloads.
"use strict";

// The exit statuses with their meanings, from the README's table (the build
// fills them in, without the usage text, which the page never prints).
const MEANINGS = {
@TAFELIX_STATUS_MEANINGS@};

const TEXT_IN_FULL = 2 * 1024 * 1024;   // longer texts show their head
const TEXT_HEAD = 256 * 1024;
const view = { pixels: null, width: 0, rows: 0, output: null, urls: [], x: 0, y: 0 };
const byId = (id) => document.getElementById(id);

function offer(id, bytes, fileName, label) {
    const link = byId(id);
    const url = URL.createObjectURL(new Blob([bytes], { type: "application/octet-stream" }));
    view.urls.push(url);
    link.href = url;
    link.download = fileName;
    link.textContent = label + " " + fileName + " (" + bytes.length.toLocaleString("en") + " bytes)";
    link.hidden = false;
}

function clearView() {
    for (const id of ["messages", "status", "meaning", "dimensions", "text", "text-note", "inspect", "copied"]) {
        byId(id).textContent = "";
    }
    for (const id of ["download", "size-download", "bitmap-download"]) {
        const link = byId(id);
        link.hidden = true;
        link.removeAttribute("href");
        link.removeAttribute("download");
    }
    view.urls.forEach((url) => URL.revokeObjectURL(url));
    view.urls = [];
    view.pixels = view.output = null;
    view.width = view.rows = 0;
    drawPreview();
    byId("copy").disabled = true;
}

// The array as a picture, one canvas pixel per value; -1 stays transparent
// over the checkerboard.
function drawPreview() {
    const canvas = byId("preview");
    canvas.width = view.width;
    canvas.height = view.rows;
    byId("cursor").hidden = true;
    if (view.width > 0) {
        const rgba = new Uint8ClampedArray(view.pixels.buffer, view.pixels.byteOffset, view.width * view.rows * 4);
        canvas.getContext("2d").putImageData(new ImageData(rgba, view.width, view.rows), 0, 0);
    }
    zoomPreview();
}

// "fit": the largest whole scale up to 640 x 400 CSS pixels, never wider
// than the column; otherwise that many screen pixels a value, scrolled.
function zoomPreview() {
    const canvas = byId("preview");
    const zoom = byId("zoom").value;
    const scale = zoom === "fit" ? Math.max(1, Math.floor(Math.min(640 / view.width, 400 / view.rows))) : +zoom;
    canvas.classList.toggle("fit", zoom === "fit");
    canvas.style.width = view.width > 0 ? view.width * scale + "px" : "0";
    canvas.style.height = "";
    showCursor();
}

function pixelReadout(x, y) {
    const index = y * view.width + x;
    const value = pixelValue(view.pixels[index]);
    const hex = "0x" + value.toString(16).toUpperCase().padStart(6, "0");
    return "x " + x + ", y " + y + ", index " + index + ": " + value +
        (value === -1 ? " (pure white, transparent)" : " = " + hex);
}

function inspect(x, y) {
    if (view.width === 0) {
        return;
    }
    view.x = Math.min(Math.max(x, 0), view.width - 1);
    view.y = Math.min(Math.max(y, 0), view.rows - 1);
    byId("inspect").textContent = pixelReadout(view.x, view.y);
    showCursor();
}

function showCursor() {
    const canvas = byId("preview");
    const cursor = byId("cursor");
    if (view.width === 0 || document.activeElement !== canvas) {
        cursor.hidden = true;
        return;
    }
    const size = canvas.clientWidth / view.width;
    cursor.style.left = canvas.offsetLeft + view.x * size + "px";
    cursor.style.top = canvas.offsetTop + view.y * size + "px";
    cursor.style.width = cursor.style.height = Math.max(size, 3) + "px";
    cursor.hidden = false;
}

function pointAt(event) {
    const box = byId("preview").getBoundingClientRect();
    if (view.width > 0 && box.width > 0) {
        inspect(Math.floor((event.clientX - box.left) * view.width / box.width),
            Math.floor((event.clientY - box.top) * view.rows / box.height));
    }
}

const STEPS = { ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, -1], ArrowDown: [0, 1] };
function moveCursor(event) {
    const step = STEPS[event.key];
    if (step && view.width > 0) {
        event.preventDefault();
        const by = event.shiftKey ? 10 : 1;
        inspect(view.x + step[0] * by, view.y + step[1] * by);
    }
}

// Shows one finished conversion; returns when its picture is drawn, before
// the text and the downloads, which showRest adds.
function showResult(result) {
    clearView();
    const { run, input } = result;
    byId("messages").textContent = run.lines.join("\n");
    byId("status").textContent = String(run.status);
    byId("meaning").textContent = MEANINGS[run.status] !== undefined ? "(" + MEANINGS[run.status] + ")" : "";
    if (result.made) {
        offer("bitmap-download", input.bytes, input.name, "The picture as a 24-bit BMP:");
    }
    if (run.status !== 0) {
        return;
    }
    // Parsed once: showing the entry again reuses the pixels, which live in
    // the module's memory.
    if (!result.pixels) {
        const parsing = performance.now();
        result.pixels = arrayPixels(run.output, moduleRoom(run.module));
        document.body.dataset.parseMs = (performance.now() - parsing).toFixed(1);
    }
    const pixels = result.pixels;
    const width = Math.max(new DataView(input.bytes.buffer, input.bytes.byteOffset).getInt32(18, true), 1);
    const rows = Math.floor(pixels.length / width);
    // Browsers draw no canvas of more than 32767 pixels a side or 2^28 in all.
    const drawn = width <= 32767 && rows <= 32767 && width * rows <= 2 ** 28 && rows > 0;
    view.pixels = pixels;
    view.output = run.output;
    view.width = drawn ? width : 0;
    view.rows = drawn ? rows : 0;
    view.x = view.y = 0;
    const drawing = performance.now();
    drawPreview();
    document.body.dataset.drawMs = (performance.now() - drawing).toFixed(1);
    byId("dimensions").textContent = width + " x " + rows + " pixels, " + pixels.length + " values" +
        (drawn ? "" : " (too large for a picture here)");
}

function showRest(result) {
    const { run, input, name } = result;
    if (run.status !== 0) {
        return;
    }
    const output = run.output;
    const head = output.length <= TEXT_IN_FULL ? output : output.subarray(0, output.lastIndexOf(10, TEXT_HEAD) + 1);
    byId("text").textContent = new TextDecoder("latin1").decode(head).replace(/\r\n/g, "\n");
    byId("text-note").textContent = head === output ? "" : "The first " + head.length.toLocaleString("en") +
        " of " + output.length.toLocaleString("en") + " bytes; Copy and the download hold the whole file.";
    byId("copy").disabled = false;
    offer("download", output, name + ".h", "The include file");
    offer("size-download", new TextEncoder().encode(sizeHeader(input.bytes, name)), name + "_size.h", "Its size header");
}

async function copyText() {
    const text = new TextDecoder("latin1").decode(view.output);
    let done = false;
    try {
        await navigator.clipboard.writeText(text);
        done = true;
    } catch (error) {
        // Without the asynchronous clipboard (or its permission): the old way.
        const area = document.createElement("textarea");
        area.value = text;
        document.body.append(area);
        area.select();
        done = document.execCommand("copy");
        area.remove();
    }
    byId("copied").textContent = done ? "Copied " + text.length.toLocaleString("en") + " characters." :
        "The browser did not allow copying; use the download.";
}

byId("zoom").addEventListener("change", zoomPreview);
byId("preview").addEventListener("pointermove", pointAt);
byId("preview").addEventListener("keydown", moveCursor);
byId("preview").addEventListener("focus", () => inspect(view.x, view.y));
byId("preview").addEventListener("blur", showCursor);
byId("copy").addEventListener("click", copyText);
window.addEventListener("resize", showCursor);
