// Where conversions run: in a worker started with the page, from a blob:
// URL that holds TafelixEngine's text (engine.js; Chromium starts no worker
// from a file: page's own files), so that the page stays free while the
// program runs. When no worker starts, the engine runs on the page itself;
// so does a picture of a kind the browser decodes on the page but not in
// its workers (WebKitGTK: JPEG, GIF, WebP). The file is read here and its
// bytes handed over: a worker from a blob: URL may not read a file: page's
// files (WebKitGTK refuses).
"use strict";

const Bridge = (() => {
    let worker = null;
    let ready = null;       // resolves with the kinds the worker decodes, or null without a worker
    let onPage = null;      // TafelixEngine's Job on the page, once needed
    let url = null;
    let current = null;     // { request, receive, done, posted, onPage } of the running conversion
    let held = null;        // the id of the file whose bytes the worker holds

    function deliver(job, message) {
        if (current !== job) {
            return;         // cancelled
        }
        try {
            job.receive(message);
        } finally {
            if (message.type !== "shown") {
                current = null;
                if (!job.onPage) {
                    job.done();
                }
            }
        }
    }

    function startWorker() {
        held = null;
        let settle;
        ready = new Promise((resolve) => {
            settle = resolve;
        });
        try {
            url = url || URL.createObjectURL(new Blob(["(" + TafelixEngine + ")().listen(self);"],
                { type: "text/javascript" }));
            worker = new Worker(url);
        } catch (error) {
            fallBack(settle);
            return;
        }
        let started = false;
        worker.onmessage = (event) => {
            if (event.data.type === "ready") {
                started = true;
                settle(event.data.decodes);
            } else if (event.data.type === "broken") {
                fallBack(settle);
            } else {
                deliver(current, event.data);
            }
        };
        // A worker that fails before it is ready never will be: the page
        // takes over. One that fails later ends the conversion it ran.
        worker.onerror = (event) => {
            event.preventDefault();
            if (!started) {
                fallBack(settle);
            } else if (current && !current.onPage) {
                deliver(current, { type: "failed", problem: "The conversion stopped: " + event.message });
                worker.terminate();
                startWorker();
            }
        };
    }

    function fallBack(settle) {
        if (worker) {
            worker.terminate();
            worker = null;
        }
        settle(null);
    }

    function runOnPage(job) {
        job.onPage = true;
        onPage = onPage || TafelixEngine();
        onPage.run(job.request, (message) => deliver(job, message)).then(job.done, job.done);
    }

    // Starts one conversion (a request of Job.run); `receive` gets its
    // messages. Resolves when it has ended, or was cancelled, and the next
    // may start. The request's `pixels` (a preview's old memory) go along.
    async function convert(request, receive) {
        let done;
        const ended = new Promise((resolve) => {
            done = resolve;
        });
        const job = current = { request, receive, done, posted: false, onPage: false };
        const decodes = await ready;
        const kind = Picture.kindOf(request.file.name);
        const here = decodes === null || (Picture.BY_BROWSER.includes(kind) && !decodes.includes(kind));
        if (here || held !== request.id) {
            try {
                request.bytes = await request.file.arrayBuffer();
            } catch (error) {
                deliver(job, { type: "failed", id: request.id, problem: request.file.name + " cannot be read (" +
                    error.name + "): it may be gone or not readable." });
                return;
            }
        }
        if (current !== job) {
            return;     // cancelled while reading
        }
        job.posted = true;
        if (here) {
            runOnPage(job);
        } else {
            held = request.id;
            worker.postMessage(request, [request.pixels, request.bytes].filter((buffer) => buffer));
        }
        return ended;
    }

    // Drops the running conversion: the worker ends and a new one starts (its
    // module new too). On the page, the engine finishes its run unheard.
    function cancel() {
        const job = current;
        current = null;
        if (job && job.posted && !job.onPage) {
            worker.terminate();
            startWorker();
            job.done();
        }
    }

    return { start: startWorker, convert, cancel, where: () => (worker ? "worker" : "page") };
})();
