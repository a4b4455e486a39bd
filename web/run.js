// Running the program: the console program's own sources built by
// Emscripten (tafelix.js), one module for the life of the worker or page
// (a new one after a run the program did not finish), on one file in
// memory with the arguments a console user gives. Each run hands back a
// finished result and keeps the memory it came from for the next run: the
// module's memory, grown once, and one buffer for the text the program
// writes. New memory is what costs (about 3 ms a MiB here, the
// first time it is written); a second run of a large picture needs none.
"use strict";

const Run = (() => {
    let module = null;
    let lines = [];
    let text = new Uint8Array(0);   // the output file's storage, one for every run
    let room = 0;                   // the most the program can write this run

    // The in-memory file system grows a file by an eighth at a time beyond
    // 1 MiB, copying it each time: 40 copies for a 140 MB include file.
    // Here the output takes the text buffer, grown at once to `room`; other
    // files grow to twice their size.
    function growInOneStep(fs, output) {
        const memfs = fs.filesystems.MEMFS;
        memfs.expandFileStorage = (node, wanted) => {
            const capacity = node.contents ? node.contents.length : 0;
            if (capacity >= wanted) {
                return;
            }
            let contents;
            if (node.name === output() && text.length >= wanted) {
                contents = text;
            } else {
                // Where `room` at once is more than the browser gives, the
                // file grows as any other.
                try {
                    contents = new Uint8Array(Math.max(wanted, 2 * capacity, node.name === output() ? room : 0, 4096));
                } catch (error) {
                    contents = new Uint8Array(Math.max(wanted, 2 * capacity));
                }
                text = node.name === output() ? contents : text;
            }
            if (node.usedBytes > 0) {
                contents.set(node.contents.subarray(0, node.usedBytes));
            }
            node.contents = contents;
        };
    }

    let output = "";
    async function start() {
        if (!module) {
            module = await createTafelix({
                noInitialRun: true,
                thisProgram: "tafelix",
                print: (line) => lines.push(line),
                printErr: (line) => lines.push(line),
            });
            growInOneStep(module.FS, () => output);
            module.FS.mkdir("/work");
            module.FS.chdir("/work");
        }
        return module;
    }

    // The most bytes tafelix writes for a bitmap of `pixels` and this name:
    // 9 a value ("16777215,"), 2 more a line of five, the opening lines and
    // the end. A bitmap holds at least 3 bytes a pixel, which bounds a
    // damaged header's claim.
    function outputRoom(bitmap, name) {
        const size = Picture.size("bmp", bitmap);
        const pixels = size ? Math.min(size.width * size.height, bitmap.length / 3) : 0;
        return Math.ceil(pixels * 9.4) + 2 * name.length + 256;
    }

    // The preview: the program's table (preview.cpp), as RGBA words, in
    // `into` when that has room.
    function previewPixels(bitmap, white, into) {
        const at = module._tafelix_preview_input(bitmap.length);
        module.HEAPU8.set(bitmap, at);
        const words = module._tafelix_preview(white ? 1 : 0);
        const count = module._tafelix_preview_count();
        let pixels = null;
        if (words !== 0) {
            pixels = into && into.byteLength >= count * 4 ? new Uint32Array(into, 0, count) : new Uint32Array(count);
            pixels.set(module.HEAPU32.subarray(words >>> 2, (words >>> 2) + count));
        }
        module._tafelix_preview_end();
        return pixels;
    }

    // Runs `tafelix <args>` with the file `fileName` holding `bytes`, in
    // the folder /work. Returns the console lines, the status, the output
    // file's bytes (valid until the next run), and for a converted bitmap
    // its width, rows and the preview's pixels (in `into`, an ArrayBuffer,
    // when it is large enough).
    async function tafelix(fileName, bytes, args, into) {
        const program = await start();
        const fs = program.FS;
        for (const name of fs.readdir(".")) {
            if (name !== "." && name !== "..") {
                fs.unlink(name);
            }
        }
        fs.writeFile(fileName, bytes, { canOwn: true });
        lines = [];
        output = args[1];
        room = outputRoom(bytes, args[2] || "");
        const started = performance.now();
        let status;
        // callMain leaves the arguments on the stack.
        const stack = program.stackSave();
        try {
            status = program.callMain(args);
        } catch (error) {
            // The program ended midway and freed nothing (its input copy,
            // its table, its open files): the next run starts a new module.
            lines.push(String(error));
            status = NaN;
            module = null;
            text = new Uint8Array(0);
        } finally {
            program.stackRestore(stack);
        }
        const result = { lines, status, output: null, width: 0, rows: 0, pixels: null,
            mainMs: performance.now() - started };
        if (status === 0) {
            const node = fs.lookupPath(args[1]).node;
            result.output = node.contents ? node.contents.subarray(0, node.usedBytes) : new Uint8Array(0);
            const previewing = performance.now();
            result.pixels = previewPixels(bytes, args.includes("-wt"), into);
            result.previewMs = performance.now() - previewing;
            // As tafelix read them: a top-down bitmap stores its rows negative.
            const { width, height } = Bmp.header(bytes).asTafelixReads;
            result.width = width;
            result.rows = Math.abs(height);
        }
        return result;
    }

    // The size header the build integrations write beside the include file.
    function sizeHeader(name, width, rows) {
        const upper = name.toUpperCase();
        return "/* Size of the picture in the array " + name + ", read from its bitmap. */\n" +
            "#ifndef TAFELIX_" + upper + "_SIZE_H\n" +
            "#define TAFELIX_" + upper + "_SIZE_H\n" +
            "#define " + upper + "_WIDTH " + width + "\n" +
            "#define " + upper + "_HEIGHT " + rows + "\n" +
            "extern int " + name + "[" + upper + "_WIDTH * " + upper + "_HEIGHT];\n" +
            "#endif\n";
    }

    return { start, tafelix, sizeHeader };
})();
