// The tafelix page: runs the console program's main routine (tafelix.js,
// the program's own sources built with Emscripten) on the chosen bitmap in
// memory, with the arguments a console user would give, and shows what the
// generated array holds.
"use strict";

// The exit statuses with their meanings, from the README's table (the build
// fills them in).
const MEANINGS = {
@TAFELIX_STATUS_MEANINGS@};

const $ = (id) => document.getElementById(id);
let chosen = null;      // the bitmap File
let downloadUrl = null; // the blob: URL the download link holds
let queue = Promise.resolve();

const KEYWORDS = new Set(("auto break case char const continue default do double else enum extern float " +
    "for goto if inline int long register restrict return short signed sizeof static struct switch typedef " +
    "union unsigned void volatile while bool true false").split(" "));

// An array name from a file name: its stem, made a C identifier.
function arrayName(fileName) {
    let name = fileName.replace(/\.[^.]*$/, "").replace(/[^A-Za-z0-9_]/g, "_");
    if (name === "" || /^[0-9]/.test(name)) {
        name = "_" + name;
    }
    return KEYWORDS.has(name) ? name + "_" : name;
}

// Runs the program once, in a module of its own (a fresh memory each time),
// in the folder /work of its in-memory file system.
async function runTafelix(fileName, bytes, args) {
    const lines = [];
    const module = await createTafelix({
        noInitialRun: true,
        thisProgram: "tafelix",
        print: (line) => lines.push(line),
        printErr: (line) => lines.push(line),
    });
    module.FS.mkdir("/work");
    module.FS.chdir("/work");
    module.FS.writeFile(fileName, bytes);
    const started = performance.now();
    let status;
    try {
        status = module.callMain(args);
    } catch (error) {
        lines.push(String(error));
        status = NaN;
    }
    const mainMs = performance.now() - started;
    let output = null;
    try {
        output = module.FS.readFile(args[1]);
    } catch (error) {
        output = null;
    }
    return { lines, status, output, mainMs };
}

// The values of the array, read back from the text the program wrote: the
// count from the declaration "int NAME[COUNT]={", then the values up to "};".
function parseValues(bytes) {
    let at = 0;
    let count = 0, inCount = false;
    for (let newlines = 0; at < bytes.length && newlines < 2; ++at) {
        const c = bytes[at];
        if (c === 10) {
            ++newlines;
        } else if (c === 91 || c === 93) {      // the count stands between '[' and ']'
            inCount = c === 91;
            count = inCount ? 0 : count;
        } else if (inCount && c >= 48 && c <= 57) {
            count = count * 10 + (c - 48);
        }
    }
    const values = new Int32Array(count);
    let n = 0, value = 0, negative = false;
    for (; at < bytes.length && n < count; ++at) {
        const c = bytes[at];
        if (c >= 48 && c <= 57) {
            value = value * 10 + (c - 48);
        } else if (c === 45) {
            negative = true;
        } else if (c === 44) {
            values[n++] = negative ? -value : value;
            value = 0;
            negative = false;
        } else if (c === 125) {
            break;
        }
    }
    return values.subarray(0, n);
}

// The width from the bitmap's header, as the program reads it.
function bitmapWidth(bytes) {
    if (bytes.length < 26) {
        return 0;
    }
    return new DataView(bytes.buffer, bytes.byteOffset).getInt32(18, true);
}

// The array as a picture: one canvas pixel per value, rows of the bitmap's
// width; -1 is left transparent, so the checkerboard behind shows.
function drawPreview(values, width) {
    const canvas = $("preview");
    const rows = width > 0 ? Math.floor(values.length / width) : 0;
    canvas.width = width > 0 && rows > 0 ? width : 0;
    canvas.height = rows;
    if (canvas.width === 0) {
        canvas.style.width = canvas.style.height = "0";
        return;
    }
    const image = new ImageData(width, rows);
    const rgba = new Uint32Array(image.data.buffer);
    for (let i = 0; i < width * rows; ++i) {
        const v = values[i];
        // ImageData is RGBA in memory; a little-endian word is 0xAABBGGRR.
        rgba[i] = v === -1 ? 0 : (0xff000000 | ((v & 0xff) << 16) | (v & 0xff00) | ((v >> 16) & 0xff)) >>> 0;
    }
    canvas.getContext("2d").putImageData(image, 0, 0);
    const scale = Math.max(1, Math.floor(Math.min(512 / width, 384 / rows)));
    canvas.style.width = width * scale + "px";
    canvas.style.height = rows * scale + "px";
}

function showResult(run, name, width) {
    $("messages").textContent = run.lines.join("\n");
    $("status").textContent = String(run.status);
    $("meaning").textContent = MEANINGS[run.status] !== undefined ? "(" + MEANINGS[run.status] + ")" : "";
    if (downloadUrl !== null) {
        URL.revokeObjectURL(downloadUrl);
        downloadUrl = null;
    }
    const link = $("download");
    const ok = run.status === 0 && run.output !== null;
    const values = ok ? parseValues(run.output) : [];
    // Chromium draws no canvas of more than 32767 pixels a side or 2^28 in all.
    const shown = width <= 32767 && values.length / Math.max(width, 1) <= 32767 && values.length <= 2 ** 28;
    drawPreview(shown ? values : [], shown ? width : 0);
    if (!ok) {
        link.hidden = true;
        link.removeAttribute("href");
        link.removeAttribute("download");
        $("dimensions").textContent = "";
        $("text").textContent = "";
        return;
    }
    const rows = width > 0 ? Math.floor(values.length / width) : 0;
    $("dimensions").textContent = width + " x " + rows + " pixels, " + values.length + " values" +
        (shown ? "" : " (too large for a picture here)");
    const head = run.output.subarray(0, Math.min(run.output.length, 4096));
    const text = new TextDecoder("latin1").decode(head).split("\r\n").slice(0, 12);
    $("text").textContent = text.join("\n") + (text.length === 12 ? "\n..." : "");
    downloadUrl = URL.createObjectURL(new Blob([run.output], { type: "text/x-c" }));
    link.href = downloadUrl;
    link.download = name + ".h";
    link.textContent = "Download " + name + ".h (" + run.output.length + " bytes)";
    link.hidden = false;
}

async function convert() {
    if (chosen === null) {
        return;
    }
    const started = performance.now();
    const file = chosen;
    const name = $("name").value;
    const args = [file.name, name + ".h", name];
    if ($("transparent-white").checked) {
        args.push("-wt");
    }
    const bytes = new Uint8Array(await file.arrayBuffer());
    const run = await runTafelix(file.name, bytes, args);
    showResult(run, name, bitmapWidth(bytes));
    // For people and tests: how long the page took, and how many runs ended.
    const body = document.body.dataset;
    body.mainMs = run.mainMs.toFixed(1);
    body.totalMs = (performance.now() - started).toFixed(1);
    body.runs = String(Number(body.runs || 0) + 1);
}

// Conversions run one after the other, in the order asked for.
function requestConversion() {
    queue = queue.then(convert, convert);
}

function choose(file) {
    if (!file) {
        return;
    }
    chosen = file;
    $("name").value = arrayName(file.name);
    requestConversion();
}

$("bitmap").addEventListener("change", () => choose($("bitmap").files[0]));
$("form").addEventListener("submit", (event) => {
    event.preventDefault();
    requestConversion();
});
const drop = $("drop");
drop.addEventListener("dragover", (event) => {
    event.preventDefault();
    drop.classList.add("over");
});
drop.addEventListener("dragleave", () => drop.classList.remove("over"));
drop.addEventListener("drop", (event) => {
    event.preventDefault();
    drop.classList.remove("over");
    choose(event.dataTransfer.files[0]);
});
