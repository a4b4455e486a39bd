// The view of one conversion: console lines with their meanings, the status,
// the array as a picture with zoom and a pixel inspector, the text's head,
// Copy and the downloads. It shows what it is given and asks nothing back.
"use strict";

const View = (() => {
    // From the manual page (the build fills them in): the exit statuses, and
    // each console line's start, the line as the manual shows it, its meaning.
    const STATUS = {
@TAFELIX_STATUS@    };
    const MESSAGES = [
@TAFELIX_MESSAGES@    ];
    const view = { result: null, urls: [], x: 0, y: 0, width: 0, rows: 0 };
    const byId = (id) => document.getElementById(id);

    function offer(id, blob, fileName, label) {
        const link = byId(id);
        const url = URL.createObjectURL(blob);
        view.urls.push(url);
        link.href = url;
        link.download = fileName;
        link.textContent = label + " " + fileName + " (" + blob.size.toLocaleString("en") + " bytes)";
        link.hidden = false;
    }

    function clear() {
        for (const id of ["messages", "status", "meaning", "explain", "dimensions", "text", "text-note", "inspect",
            "copied"]) {
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
        view.result = null;
        view.width = view.rows = 0;
        drawPreview();
        byId("copy").disabled = true;
    }

    // The array as a picture, one canvas pixel per value; -1 stays
    // transparent over the checkerboard. The canvas takes an ImageBitmap
    // whole: the one that came with the result, or, when it is shown again,
    // one made anew from its pixels.
    async function drawPreview(bitmap) {
        const canvas = byId("preview");
        const result = view.result;
        byId("cursor").hidden = true;
        let image = null;
        if (view.width > 0) {
            const pixels = result.pixels;
            image = bitmap || await createImageBitmap(new ImageData(
                new Uint8ClampedArray(pixels.buffer, pixels.byteOffset, view.width * view.rows * 4), view.width, view.rows));
        } else if (bitmap) {
            bitmap.close();
        }
        if (view.result !== result) {
            if (image) {
                image.close();
            }
            return;
        }
        // (A canvas cleared at its new size first would take a new bitmap of
        // that size, about as long as drawing it.)
        canvas.width = view.width;
        canvas.height = view.rows;
        canvas.getContext("bitmaprenderer").transferFromImageBitmap(image);
        zoomPreview();
    }

    // "fit": the largest whole scale up to 640 x 400 CSS pixels, never wider
    // than the column; otherwise that many screen pixels a value, scrolled.
    const wholeFit = () => Math.max(1, Math.floor(Math.min(640 / view.width, 400 / view.rows)));
    function zoomPreview() {
        const canvas = byId("preview");
        const zoom = byId("zoom").value;
        canvas.classList.toggle("fit", zoom === "fit");
        canvas.style.width = view.width > 0 ? view.width * (zoom === "fit" ? wholeFit() : +zoom) + "px" : "0";
        fitNow();
        showCursor();
    }

    // The menu says what Fit is now: less than a whole scale when the
    // column is narrower (the stage's 1 px padding on each side).
    function fitNow() {
        const scale = Math.min(wholeFit(), (byId("stage").clientWidth - 2) / view.width);
        byId("zoom").options[0].textContent = view.width > 0 ? "Fit (" + +scale.toFixed(2) + " x)" : "Fit";
    }

    function readout(x, y) {
        const index = y * view.width + x;
        const word = view.result.pixels[index];
        const value = word === 0 ? -1 : (word & 0xff) << 16 | (word & 0xff00) | (word >>> 16 & 0xff);
        return "x " + x + ", y " + y + ", index " + index + ": " + value + (value === -1 ?
            " (pure white, transparent)" : " = 0x" + value.toString(16).toUpperCase().padStart(6, "0"));
    }

    function inspect(x, y) {
        if (view.width > 0) {
            view.x = Math.min(Math.max(x, 0), view.width - 1);
            view.y = Math.min(Math.max(y, 0), view.rows - 1);
            byId("inspect").textContent = readout(view.x, view.y);
            showCursor();
        }
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

    // Each console line with its meaning, as the manual page gives it.
    function explain(lines) {
        const list = byId("explain");
        for (const line of lines) {
            const known = MESSAGES.find(([start, shown]) => line === start || (shown !== start && line.startsWith(start)));
            if (known) {
                const term = document.createElement("dt");
                const meaning = document.createElement("dd");
                term.textContent = known[1];
                meaning.textContent = known[2];
                list.append(term, meaning);
            }
        }
    }

    // Shows the console, the status and the picture of a result; the text
    // and the downloads follow with showText once they have come.
    function show(result) {
        clear();
        view.result = result;
        byId("messages").textContent = result.lines.join("\n");
        byId("status").textContent = String(result.status);
        byId("meaning").textContent = STATUS[result.status] !== undefined ? "(" + STATUS[result.status] + ")" : "";
        explain(result.lines);
        if (result.status !== 0 || !result.pixels) {
            return;
        }
        const { width, rows, count } = result;
        // Browsers draw no canvas of more than 32767 pixels a side or 2^28 in all.
        const drawn = width > 0 && width * rows === count && width <= 32767 && rows <= 32767 && count <= 2 ** 28;
        view.width = drawn ? width : 0;
        view.rows = drawn ? rows : 0;
        view.x = view.y = 0;
        const drawing = performance.now();
        drawPreview(result.bitmap).catch(() => {
            // The browser made no bitmap of the pixels (its memory, say).
            if (view.result === result) {
                view.width = view.rows = 0;
                byId("dimensions").textContent += " (no picture: the browser drew none)";
                drawPreview();
            }
        });
        result.bitmap = null;      // the canvas has it now
        document.body.dataset.drawMs = (performance.now() - drawing).toFixed(1);
        byId("dimensions").textContent = width + " x " + rows + " pixels, " + count + " values" +
            (drawn ? "" : " (too large for a picture here)");
    }

    function showText(result) {
        if (result.made) {
            offer("bitmap-download", result.made, result.madeName, "The picture as a 24-bit BMP:");
        }
        if (result.status !== 0 || !result.text) {
            return;
        }
        byId("text").textContent = result.head.replace(/\r\n/g, "\n");
        byId("text-note").textContent = result.head.length === result.length ? "" : "The first " +
            result.head.length.toLocaleString("en") + " of " + result.length.toLocaleString("en") +
            " bytes; Copy and the download hold the whole file.";
        byId("copy").disabled = false;
        offer("download", result.text, result.name + ".h", "The include file");
        offer("size-download", new Blob([result.size]), result.name + "_size.h", "Its size header");
    }

    // The whole text, from its Blob; where the clipboard takes no Blob, as a
    // string; without the asynchronous clipboard, the old way.
    async function copyText() {
        const blob = view.result.text;
        let done = false;
        try {
            if (typeof ClipboardItem === "function") {
                await navigator.clipboard.write([new ClipboardItem({ "text/plain": blob })]);
            } else {
                await navigator.clipboard.writeText(await blob.text());
            }
            done = true;
        } catch (error) {
            const whole = await blob.text().catch(() => null);
            if (whole !== null) {
                const area = document.createElement("textarea");
                area.value = whole;
                document.body.append(area);
                area.select();
                done = document.execCommand("copy");
                area.remove();
            }
        }
        byId("copied").textContent = done ? "Copied " + blob.size.toLocaleString("en") + " characters." :
            "The browser did not allow copying; use the download.";
    }

    byId("zoom").addEventListener("change", zoomPreview);
    byId("preview").addEventListener("pointermove", pointAt);
    byId("preview").addEventListener("keydown", moveCursor);
    byId("preview").addEventListener("focus", () => inspect(view.x, view.y));
    byId("preview").addEventListener("blur", showCursor);
    byId("copy").addEventListener("click", copyText);
    window.addEventListener("resize", () => {
        if (view.width > 0) {
            fitNow();
        }
        showCursor();
    });

    return { show, showText, clear };
})();
