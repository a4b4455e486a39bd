// The page: the files chosen or dropped, each converted in turn with its
// own array name and -wt, a list to show any of them, and the page's own
// messages (a refused name, a file that cannot be read).
"use strict";

// Array names as the build integrations check them: a C identifier that is
// not one of these keywords (C89 to C23).
const C_KEYWORDS = new Set("auto break case char const continue default do double else enum extern float for goto if inline int long register restrict return short signed sizeof static struct switch typedef union unsigned void volatile while _Alignas _Alignof _Atomic _Bool _Complex _Generic _Imaginary _Noreturn _Static_assert _Thread_local alignas alignof bool constexpr false nullptr static_assert thread_local true typeof typeof_unqual _BitInt _Decimal32 _Decimal64 _Decimal128".split(" "));
const MAX_FILE = 2147483647;    // the largest file the program (and a browser's buffer) takes

const $ = (id) => document.getElementById(id);
const entries = [];
let shown = null;       // the entry whose result is on screen
let picked = false;     // whether the person chose an entry since the last files came
let queue = Promise.resolve();

function nameProblem(name) {
    if (!/^[A-Za-z_][A-Za-z0-9_]*$/.test(name)) {
        return name === "" ? "Give the array a name." :
            "\u201c" + name + "\u201d is no C identifier: use letters, digits and _, not starting with a digit.";
    }
    return C_KEYWORDS.has(name) ? "\u201c" + name + "\u201d is a C keyword; choose another name." : "";
}

// An array name from a file name: its stem, made a C identifier.
function arrayName(fileName) {
    let name = fileName.replace(/\.[^.]*$/, "").replace(/[^A-Za-z0-9_]/g, "_");
    if (name === "" || /^[0-9]/.test(name)) {
        name = "_" + name;
    }
    return C_KEYWORDS.has(name) ? name + "_" : name;
}

function say(problem) {
    $("problem").textContent = problem;
    $("name").setAttribute("aria-invalid", String(problem !== "" && nameProblem($("name").value) !== ""));
}

function setState(entry, state, kind) {
    entry.item.querySelector(".state").textContent = state;
    entry.item.dataset.kind = kind || "";
}

// An entry not on screen lets its module go (the memory of a large picture's
// conversion, several hundred MiB), keeping a copy of its pixels if it has
// any: several large files would otherwise hold all their modules at once.
function release(entry) {
    const result = entry && entry.result;
    if (result && result.run.module) {
        result.pixels = result.pixels && result.pixels.slice();
        result.run.module = null;
    }
}

function select(entry) {
    if (shown !== entry) {
        release(shown);
    }
    shown = entry;
    for (const other of entries) {
        other.item.setAttribute("aria-current", String(other === entry));
    }
    $("name").value = entry.name;
    $("transparent-white").checked = entry.white;
    say(entry.problem);
    if (entry.result) {
        showResult(entry.result);
        showRest(entry.result);
    } else {
        clearView();
    }
}

// The file as it goes to the program: a 24-bit uncompressed BMP as it is;
// any other picture the browser decodes made into one, <stem>.bmp; a file
// the browser cannot decode as it is, for the program to say what is wrong.
async function programInput(file) {
    if (file.size > MAX_FILE) {
        throw new Error(file.name + " has " + file.size.toLocaleString("en") +
            " bytes; the page reads files of up to 2 GiB - 1 byte.");
    }
    let bytes;
    try {
        bytes = new Uint8Array(await file.arrayBuffer());
    } catch (error) {
        throw new Error(file.name + " cannot be read (" + error.name + "): it may be gone or not readable.");
    }
    if (is24BitBmp(bytes)) {
        return { name: file.name, bytes, made: false };
    }
    let bmp;
    try {
        bmp = await pictureToBmp(new Blob([bytes]));
    } catch (error) {
        throw new Error(file.name + " cannot be made into a BMP: " + error.message + ".");
    }
    return bmp ? { name: file.name.replace(/\.[^.]*$/, "") + ".bmp", bytes: bmp, made: true } :
        { name: file.name, bytes, made: false };
}

async function convert(entry) {
    const started = performance.now();
    entry.result = null;
    entry.problem = "";
    if (!picked && shown !== entry) {
        select(entry);
    } else if (shown === entry) {
        clearView();
    }
    setState(entry, "converting", "busy");
    const { name, white } = entry;
    const body = document.body.dataset;
    try {
        // A file is read once; Convert runs the program again on the same bytes.
        entry.input = entry.input || await programInput(entry.file);
        const input = entry.input;
        body.readMs = (performance.now() - started).toFixed(1);
        const args = [input.name, name + ".h", name].concat(white ? ["-wt"] : []);
        const run = await runTafelix(input.name, input.bytes, args);
        entry.result = { run, input, name, made: input.made };
        setState(entry, "status " + run.status, run.status === 0 ? "ok" : "failed");
    } catch (error) {
        entry.problem = error.message;
        setState(entry, "not read", "failed");
    }
    if (shown === entry && entry.result) {
        showResult(entry.result);
        body.totalMs = (performance.now() - started).toFixed(1);   // choosing to the drawn preview
        body.mainMs = entry.result.run.mainMs.toFixed(1);
        showRest(entry.result);
        body.doneMs = (performance.now() - started).toFixed(1);    // and the text and downloads
    } else if (shown === entry) {
        say(entry.problem);
        clearView();
    } else {
        release(entry);
    }
    body.runs = String(Number(body.runs || 0) + 1);
}

function enqueue(entry) {
    queue = queue.then(() => convert(entry));
}

function addFiles(files) {
    if (files.length === 0) {
        return;
    }
    picked = false;
    for (const file of files) {
        const entry = { file, name: arrayName(file.name), white: $("transparent-white").checked,
            input: null, result: null, problem: "" };
        const item = document.createElement("li");
        item.innerHTML = '<button type="button"><span class="file"></span> <span class="state">waiting</span></button>';
        entry.item = item.firstChild;
        entry.item.dataset.file = file.name;
        entry.item.querySelector(".file").textContent = file.name;
        entry.item.addEventListener("click", () => {
            picked = true;
            select(entry);
        });
        $("files").append(item);
        entries.push(entry);
        enqueue(entry);
    }
    $("files-section").hidden = false;
}

$("bitmap").addEventListener("change", () => {
    addFiles(Array.from($("bitmap").files));
    $("bitmap").value = "";
});
$("name").addEventListener("input", () => {
    if ($("problem").textContent !== "" && nameProblem($("name").value) === "") {
        say("");
    }
});
$("form").addEventListener("submit", (event) => {
    event.preventDefault();
    const name = $("name").value;
    const problem = nameProblem(name);
    if (problem !== "") {
        // Nothing is converted, and nothing stays on offer.
        if (shown) {
            shown.result = null;
            shown.problem = problem;
            setState(shown, "name refused", "failed");
        }
        clearView();
        say(problem);
        return;
    }
    say("");
    if (shown) {
        shown.name = name;
        shown.white = $("transparent-white").checked;
        enqueue(shown);
    }
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
    addFiles(Array.from(event.dataTransfer.files));
});
