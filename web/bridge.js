// Where conversions run: in a worker started with the page, from a blob:
// URL that holds TafelixEngine's text (engine.js; Chromium starts no worker
// from a file: page's own files), so that the page stays free while the
// program runs. When no worker starts, the engine runs on the page itself.
// The file is read here and its bytes handed over: a worker from a blob: URL
// may not read a file: page's files (WebKitGTK refuses).
"use strict";

const Bridge = (() => {
    let worker = null;
    let onPage = null;      // TafelixEngine's Job, when conversions run on the page
    let url = null;
    let current = null;     // { request, receive, done } of the running conversion
    let held = null;        // the id of the file whose bytes the engine holds

    function deliver(job, message) {
        if (current !== job) {
            return;         // cancelled
        }
        job.receive(message);
        if (message.type !== "shown") {
            current = null;
            if (worker) {
                job.done();
            }
        }
    }

    function startWorker() {
        let ready = false;
        held = null;
        try {
            url = url || URL.createObjectURL(new Blob(["(" + TafelixEngine + ")().listen(self);"],
                { type: "text/javascript" }));
            worker = new Worker(url);
        } catch (error) {
            fallBack();
            return;
        }
        worker.onmessage = (event) => {
            if (event.data.type === "ready") {
                ready = true;
            } else if (event.data.type === "broken") {
                fallBack();
            } else {
                deliver(current, event.data);
            }
        };
        // A worker that fails before it is ready never will be: the page
        // takes over. One that fails later ends the conversion it ran.
        worker.onerror = (event) => {
            event.preventDefault();
            if (!ready) {
                fallBack();
            } else if (current) {
                deliver(current, { type: "failed", problem: "The conversion stopped: " + event.message });
                worker.terminate();
                startWorker();
            }
        };
    }

    function runOnPage(job) {
        onPage.run(job.request, (message) => deliver(job, message)).then(job.done, job.done);
    }

    function fallBack() {
        if (worker) {
            worker.terminate();
            worker = null;
        }
        onPage = onPage || TafelixEngine();
        if (current) {
            runOnPage(current);
        }
    }

    // Starts one conversion (a request of Job.run); `receive` gets its
    // messages. Resolves when it has ended or was cancelled and the next may
    // start. The request's `pixels` (a preview's old memory) go along.
    async function convert(request, receive) {
        let done;
        const ended = new Promise((resolve) => {
            done = resolve;
        });
        const job = current = { request, receive, done };
        if (held !== request.id) {
            try {
                request.bytes = await request.file.arrayBuffer();
            } catch (error) {
                deliver(job, { type: "failed", id: request.id, problem: request.file.name + " cannot be read (" +
                    error.name + "): it may be gone or not readable." });
                return;
            }
            if (current !== job) {
                return;     // cancelled while reading
            }
            held = request.id;
        }
        job.posted = true;
        if (worker) {
            worker.postMessage(request, [request.pixels, request.bytes].filter((buffer) => buffer));
        } else {
            runOnPage(job);
        }
        return ended;
    }

    // Drops the running conversion: the worker ends and a new one starts (its
    // module new too). On the page, the engine finishes its run unheard.
    function cancel() {
        const job = current;
        current = null;
        held = null;
        if (job && job.posted && worker) {
            worker.terminate();
            startWorker();
            job.done();
        }
    }

    return { start: startWorker, convert, cancel, where: () => (worker ? "worker" : "page") };
})();
