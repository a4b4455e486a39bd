// One conversion, from a chosen file to what the page shows, in the order it
// is shown: the console, status and preview first, then the text's head and
// the downloads. It runs in the worker (listen), or on the page when no
// worker starts; either way its messages go out through `send`.
"use strict";

const Job = (() => {
    const HEAD = 64 * 1024;     // the text shown on the page; Copy and the download hold it all
    // The last file's bytes and what was made of them: Convert again (another
    // name, -wt, background) reads and decodes no more than it must.
    let last = { id: null, bytes: null, key: null, input: null, made: null };

    async function input(request) {
        if (last.id !== request.id) {
            last = { id: request.id, bytes: new Uint8Array(request.bytes), key: null, input: null, made: null };
        }
        const key = request.background + (request.white ? " -wt" : "");
        if (last.key !== key) {
            last.key = null;
            const fileName = request.file.name;
            const picture = await Picture.prepare(fileName, last.bytes,
                { background: request.background, transparentWhite: request.white });
            last.input = picture.made ?
                { name: fileName.replace(/\.[^.]*$/, "") + ".bmp", bytes: picture.bitmap, made: true } :
                { name: fileName, bytes: last.bytes, made: false };
            last.made = null;   // its Blob, once the preview is shown
            last.key = key;
        }
        return last.input;
    }

    // The preview as an ImageBitmap, which the page's canvas takes without
    // copying it on the page's thread (putImageData and painting what it put
    // there blocked the page for up to 0.6 s at 4096 x 4096); null where the
    // browser draws no such canvas.
    async function drawn(pixels, width, rows) {
        try {
            return await createImageBitmap(new ImageData(
                new Uint8ClampedArray(pixels.buffer, pixels.byteOffset, pixels.length * 4), width, rows));
        } catch (error) {
            return null;
        }
    }

    // The include file or the made BMP as a Blob, made in parts with a turn
    // between them: WebKitGTK copies a Blob's bytes on the page's thread,
    // 140 MiB at 4096 x 4096, which blocked the page for up to 0.6 s in one
    // piece.
    const PART = 8 * 1024 * 1024;
    async function blobOf(bytes, type) {
        const parts = [];
        for (let at = 0; at < bytes.length; at += PART) {
            parts.push(new Blob([bytes.subarray(at, at + PART)]));
            await new Promise((resolve) => setTimeout(resolve, 0));
        }
        return new Blob(parts, { type });
    }

    // request: { id, file, bytes (the file's, when they are new to the
    // engine), name, white, background, pixels (an ArrayBuffer to reuse for
    // the preview, or null) }.
    async function run(request, send) {
        try {
            await steps(request, send);
        } catch (error) {
            send({ type: "failed", id: request.id, problem: "The page failed: " + error.message });
        }
    }

    async function steps(request, send) {
        const { id, name, white } = request;
        const started = performance.now();
        let source;
        try {
            source = await input(request);
        } catch (error) {
            send({ type: "failed", id, problem: error.message });
            return;
        }
        const readMs = performance.now() - started;
        const args = [source.name, name + ".h", name].concat(white ? ["-wt"] : []);
        const result = await Run.tafelix(source.name, source.bytes, args, request.pixels);
        const pixels = result.pixels ? result.pixels.buffer : null;
        const drawing = performance.now();
        const bitmap = pixels && await drawn(result.pixels, result.width, result.rows);
        const bitmapMs = performance.now() - drawing;
        send({ type: "shown", id, lines: result.lines, status: result.status, width: result.width,
            rows: result.rows, count: result.pixels ? result.pixels.length : 0, pixels, bitmap, readMs,
            mainMs: result.mainMs, previewMs: result.previewMs, bitmapMs, workMs: performance.now() - started },
            [pixels, bitmap].filter((item) => item));
        const rest = { type: "text", id, head: "", length: 0, text: null, size: null, made: null, madeName: null };
        if (result.status === 0) {
            const output = result.output;
            const head = output.length <= HEAD ? output : output.subarray(0, output.lastIndexOf(10, HEAD) + 1);
            rest.head = new TextDecoder("latin1").decode(head);
            rest.length = output.length;
            rest.text = await blobOf(output, "text/plain");
            rest.size = Run.sizeHeader(name, result.width, result.rows);
        }
        if (source.made) {
            const kept = last;
            kept.made = kept.made || await blobOf(source.bytes, "image/bmp");
            rest.made = kept.made;
            rest.madeName = source.name;
        }
        send(rest);
    }

    // One pixel of each kind the browser decodes: whether it decodes them
    // here (WebKitGTK's workers decode none).
    const ONE_PIXEL = {
        jpeg: "/9j/4AAQSkZJRgABAQAAAQABAAD/2wBDABALDA4MChAODQ4SERATGCgaGBYWGDEjJR0oOjM9PDkzODdASFxOQERXRTc4UG1RV19iZ2hnPk1xeXBkeFxlZ2P/2wBDARESEhgVGC8aGi9jQjhCY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2P/wAARCAABAAEDAREAAhEBAxEB/8QAFAABAAAAAAAAAAAAAAAAAAAABf/EABQQAQAAAAAAAAAAAAAAAAAAAAD/xAAVAQEBAAAAAAAAAAAAAAAAAAAFBv/EABQRAQAAAAAAAAAAAAAAAAAAAAD/2gAMAwEAAhEDEQA/ABRa8f/Z",
        gif: "R0lGODlhAQABAPAAAP8AAAAAACH5BAAAAAAALAAAAAABAAEAAAICRAEAOw==",
        webp: "UklGRhwAAABXRUJQVlA4TA8AAAAvAAAAAAcQ/Y/+ByKi/wEA",
    };
    async function decodesHere() {
        const kinds = [];
        for (const kind of Picture.BY_BROWSER) {
            try {
                const bytes = Uint8Array.from(atob(ONE_PIXEL[kind]), (c) => c.charCodeAt(0));
                (await createImageBitmap(new Blob([bytes], { type: "image/" + kind }))).close();
                kinds.push(kind);
            } catch (error) {
                // Not here.
            }
        }
        return kinds;
    }

    // In a worker: the page's requests, one at a time, in order. It is
    // ready once its module is, and says which kinds the browser decodes in it.
    function listen(scope) {
        let queue = Promise.resolve();
        scope.onmessage = (event) => {
            queue = queue.then(() => run(event.data, (message, transfer) => scope.postMessage(message, transfer)));
        };
        Promise.all([Run.start(), decodesHere()]).then(([, decodes]) => scope.postMessage({ type: "ready", decodes }),
            (error) => scope.postMessage({ type: "broken", problem: String(error) }));
    }

    return { run, listen };
})();
