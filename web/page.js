// The page: the files chosen or dropped, each converted in turn with its own
// array name, -wt and background; the list to show any of them; the running
// conversion and its Cancel; the page's own messages; the settings kept for
// the next visit. Conversions run through Bridge; View shows them.
"use strict";

const Page = (() => {
    const MAX_FILE = 2147483647;    // the largest file the program (and a browser's buffer) takes
    const $ = (id) => document.getElementById(id);
    const entries = [];
    let shown = null;       // the entry whose result is on screen
    let picked = false;     // whether the person chose an entry since the last files came
    let queue = Promise.resolve();
    let serial = 0;

    // -wt, the background and the zoom, as they were last set.
    const SETTINGS = { "transparent-white": "checked", background: "value", zoom: "value" };
    function keep() {
        try {
            localStorage.setItem("tafelix", JSON.stringify(Object.fromEntries(
                Object.entries(SETTINGS).map(([id, field]) => [id, $(id)[field]]))));
        } catch (error) {
            // A page from disk may have no storage; then nothing is kept.
        }
    }
    function restore() {
        try {
            const kept = JSON.parse(localStorage.getItem("tafelix") || "{}");
            for (const [id, field] of Object.entries(SETTINGS)) {
                if (id in kept) {
                    $(id)[field] = kept[id];
                }
            }
        } catch (error) {
            // As above.
        }
    }

    function say(problem) {
        $("problem").textContent = problem;
        $("name").setAttribute("aria-invalid", String(problem !== "" && Names.problem($("name").value) !== ""));
    }

    function setState(entry, state, kind) {
        entry.item.querySelector(".state").textContent = state;
        entry.item.dataset.kind = kind || "";
    }

    function select(entry) {
        shown = entry;
        for (const other of entries) {
            other.item.setAttribute("aria-current", String(other === entry));
        }
        $("name").value = entry.name;
        $("transparent-white").checked = entry.white;
        $("background").value = "#" + entry.background;
        say(entry.problem);
        for (const id of ["console", "result"]) {
            $(id).hidden = false;
        }
        if (entry.result) {
            View.show(entry.result);
            View.showText(entry.result);
        } else {
            View.clear();
        }
    }

    function busy(entry) {
        $("busy").hidden = entry === null;
        $("busy-file").textContent = entry ? entry.file.name : "";
        document.body.dataset.busy = String(entry !== null);
    }

    // A result no longer kept: its preview's ImageBitmap, which only the
    // screen takes, goes too.
    function dropResult(entry) {
        if (entry.result && entry.result.bitmap) {
            entry.result.bitmap.close();
        }
        entry.result = null;
    }

    // One conversion through the bridge; resolves when it is over.
    async function convert(entry) {
        const started = performance.now();
        const old = entry.result;
        dropResult(entry);
        entry.problem = "";
        entry.ended = false;
        if (!picked && shown !== entry) {
            select(entry);
        } else if (shown === entry) {
            View.clear();
        }
        setState(entry, "converting", "busy");
        busy(entry);
        const body = document.body.dataset;
        if (entry.file.size > MAX_FILE) {
            finish(entry, { type: "failed", problem: entry.file.name + " has " + entry.file.size.toLocaleString("en") +
                " bytes; the page reads files of up to 2 GiB - 1 byte." });
            return;
        }
        const request = { id: entry.id, file: entry.file, name: entry.name, white: entry.white,
            background: parseInt(entry.background, 16),
            pixels: old && old.pixels ? old.pixels.buffer : null };
        await Bridge.convert(request, (message) => {
            if (message.type === "shown") {
                entry.result = Object.assign(message, { name: entry.name,
                    pixels: message.pixels && new Uint32Array(message.pixels, 0, message.count) });
                setState(entry, "status " + message.status, message.status === 0 ? "ok" : "failed");
                if (shown === entry) {
                    View.show(entry.result);
                    body.totalMs = (performance.now() - started).toFixed(1);   // choosing to the drawn preview
                    for (const time of ["readMs", "mainMs", "previewMs", "bitmapMs", "workMs"]) {
                        body[time] = (message[time] || 0).toFixed(1);
                    }
                }
            } else if (message.type === "text") {
                Object.assign(entry.result, message, { type: "done" });
                if (shown === entry) {
                    View.showText(entry.result);
                    body.doneMs = (performance.now() - started).toFixed(1);    // and the text and downloads
                }
                finish(entry);
            } else {
                finish(entry, message);
            }
        });
        if (!entry.ended) {
            finish(entry, { problem: "Cancelled: " + entry.file.name + " was not converted.", state: "cancelled" });
        }
    }

    function finish(entry, failure) {
        entry.ended = true;
        busy(null);
        if (failure) {
            dropResult(entry);
            entry.problem = failure.problem;
            setState(entry, failure.state || "not read", "failed");
            if (shown === entry) {
                say(entry.problem);
                View.clear();
            }
        }
        document.body.dataset.runs = String(Number(document.body.dataset.runs || 0) + 1);
    }

    // A conversion that fails in the page's own code ends its entry; the
    // next ones still run.
    function enqueue(entry) {
        queue = queue.then(() => convert(entry)).catch((error) => {
            finish(entry, { problem: "The page failed: " + error.message });
        });
    }

    // Each file an entry; a file of a name already listed takes that entry.
    function addFiles(files) {
        if (files.length === 0) {
            return;
        }
        picked = false;
        $("chosen").textContent = files.length === 1 ? "1 file chosen: " + files[0].name :
            files.length + " files chosen";
        for (const file of files) {
            let entry = entries.find((other) => other.file.name === file.name);
            if (entry) {
                entry.file = file;
                entry.id = ++serial;
            } else {
                entry = { id: ++serial, file, name: Names.fromFile(file.name), result: null, problem: "" };
                const item = document.createElement("li");
                item.innerHTML = '<button type="button"><span class="file"></span> <span class="state"></span></button>';
                entry.item = item.firstChild;
                entry.item.dataset.file = file.name;
                entry.item.querySelector(".file").textContent = file.name;
                entry.item.addEventListener("click", () => {
                    picked = true;
                    select(entry);
                });
                $("files").append(item);
                entries.push(entry);
            }
            entry.white = $("transparent-white").checked;
            entry.background = $("background").value.slice(1).toUpperCase();
            setState(entry, "waiting");
            enqueue(entry);
        }
        $("files-section").hidden = false;
    }

    function submit(event) {
        event.preventDefault();
        const name = $("name").value;
        const problem = Names.problem(name);
        if (problem !== "") {
            // Nothing is converted, and nothing stays on offer.
            if (shown) {
                shown.result = null;
                shown.problem = problem;
                setState(shown, "name refused", "failed");
            }
            View.clear();
            say(problem);
            return;
        }
        say("");
        if (shown) {
            shown.name = name;
            shown.white = $("transparent-white").checked;
            shown.background = $("background").value.slice(1).toUpperCase();
            enqueue(shown);
        }
    }

    restore();
    Bridge.start();
    $("bitmap").addEventListener("change", () => {
        addFiles(Array.from($("bitmap").files));
        $("bitmap").value = "";
    });
    $("name").addEventListener("input", () => {
        if ($("problem").textContent !== "" && Names.problem($("name").value) === "") {
            say("");
        }
    });
    for (const id of Object.keys(SETTINGS)) {
        $(id).addEventListener("change", keep);
    }
    $("form").addEventListener("submit", submit);
    $("cancel").addEventListener("click", () => Bridge.cancel());
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

    return { entries };
})();
