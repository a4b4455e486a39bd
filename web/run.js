// Running the program: tafelix.js (the console program's own sources built
// with Emscripten) on one file in memory, with the arguments a console user
// gives, and reading back what it wrote.
"use strict";

// The in-memory file system grows a file by an eighth at a time beyond
// 1 MiB, copying it each time: 40 copies for a 140 MB include file. Here a
// file grows to twice its size, and the output at once to the most it can
// take (`room`, from the bitmap's header), so that it is not copied at all.
// (Left as it is where the module has no such routine; it then only takes
// longer.)
function growInOneStep(module, output, room) {
    const memfs = module.FS.filesystems && module.FS.filesystems.MEMFS;
    if (!memfs || typeof memfs.expandFileStorage !== "function") {
        return;
    }
    memfs.expandFileStorage = (node, wanted) => {
        const capacity = node.contents ? node.contents.length : 0;
        if (capacity >= wanted) {
            return;
        }
        let contents;
        try {
            contents = new Uint8Array(Math.max(wanted, 2 * capacity, node.name === output ? room : 0, 4096));
        } catch (error) {
            contents = new Uint8Array(Math.max(wanted, 2 * capacity));
        }
        if (node.usedBytes > 0) {
            contents.set(node.contents.subarray(0, node.usedBytes));
        }
        node.contents = contents;
    };
}

// The most bytes tafelix writes for this bitmap and name: 9 a value
// ("16777215,"), 2 more a line of five, and the two opening lines and the
// end. A bitmap holds at least 3 bytes a pixel, which bounds a damaged
// header's claim.
function outputRoom(bitmap, name) {
    if (bitmap.length < 26) {
        return 0;
    }
    const fields = new DataView(bitmap.buffer, bitmap.byteOffset, bitmap.byteLength);
    const pixels = Math.min(Math.abs(fields.getInt32(18, true) * fields.getInt32(22, true)), bitmap.length / 3);
    return Math.ceil(pixels * 9.4) + 2 * name.length + 256;
}

// Room for `count` pixels in the module's memory, after the program ended
// (in a memory of their own once the module is let go).
function moduleRoom(module) {
    return (count) => {
        if (!module) {
            return new Int32Array(count);
        }
        const at = module._malloc(count * 4);
        return at === 0 ? new Int32Array(count) : new Int32Array(module.HEAP32.buffer, at, count);
    };
}

// Runs the program once, in a module of its own (a fresh memory each time),
// in the folder /work. The input is handed over, not copied; the output is
// the file's own bytes (the module is dropped afterwards).
async function runTafelix(fileName, bytes, args) {
    const lines = [];
    const module = await createTafelix({
        noInitialRun: true,
        thisProgram: "tafelix",
        print: (line) => lines.push(line),
        printErr: (line) => lines.push(line),
    });
    growInOneStep(module, args[1], outputRoom(bytes, args[2]));
    module.FS.mkdir("/work");
    module.FS.chdir("/work");
    module.FS.writeFile(fileName, bytes, { canOwn: true });
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
    if (status === 0) {
        const node = module.FS.lookupPath(args[1]).node;
        output = node.contents ? node.contents.subarray(0, node.usedBytes) : new Uint8Array(0);
    }
    return { lines, status, output, mainMs, module };
}

// The values of the array, read from the text the program wrote, as the
// preview's RGBA pixels (a little-endian word is 0xAABBGGRR); -1 is left
// transparent (0). The count stands in the declaration "int NAME[COUNT]={"
// on the second line; the values follow, each ended by a comma, up to "};".
// The pixels go where `room(count)` says: memory the program has used and
// given back is much quicker to fill than memory the browser has to hand
// out first.
function arrayPixels(text, room) {
    let at = 0;
    let count = 0, inCount = false;
    for (let newlines = 0; at < text.length && newlines < 2; ++at) {
        const c = text[at];
        if (c === 10) {
            ++newlines;
        } else if (c === 91 || c === 93) {
            inCount = c === 91;
            count = inCount ? 0 : count;
        } else if (inCount && c >= 48 && c <= 57) {
            count = count * 10 + (c - 48);
        }
    }
    const pixels = room(count);
    let n = 0;
    for (const end = text.length; n < count && at < end;) {
        let c = text[at++];
        if (c === 125) {                            // "};"
            break;
        }
        if (c !== 45 && (c < 48 || c > 57)) {       // CR, LF
            continue;
        }
        const negative = c === 45;
        let value = negative ? 0 : c - 48;
        while (at < end && (c = text[at++]) !== 44) {
            value = value * 10 + (c - 48);
        }
        if (c !== 44) {                             // cut off
            break;
        }
        pixels[n++] = negative && value === 1 ? 0 :
            0xff000000 | ((value & 0xff) << 16) | (value & 0xff00) | ((value >> 16) & 0xff);
    }
    return pixels.subarray(0, n);
}

// A preview pixel as the value in the file: -1 for transparent.
function pixelValue(word) {
    return word === 0 ? -1 : ((word & 0xff) << 16) | (word & 0xff00) | ((word >>> 16) & 0xff);
}

// The size header the build integrations write next to the include file:
// width and row count from the header fields tafelix reads (signed 32-bit
// little-endian at 18 and 22; a top-down bitmap stores its rows negative).
function sizeHeader(bitmap, name) {
    const fields = new DataView(bitmap.buffer, bitmap.byteOffset, bitmap.byteLength);
    const width = fields.getUint32(18, true);
    let rows = fields.getUint32(22, true);
    if (rows >= 2 ** 31) {
        rows = 2 ** 32 - rows;
    }
    const upper = name.toUpperCase();
    return "/* Size of the picture in the array " + name + ", read from its bitmap. */\n" +
        "#ifndef TAFELIX_" + upper + "_SIZE_H\n" +
        "#define TAFELIX_" + upper + "_SIZE_H\n" +
        "#define " + upper + "_WIDTH " + width + "\n" +
        "#define " + upper + "_HEIGHT " + rows + "\n" +
        "extern int " + name + "[" + upper + "_WIDTH * " + upper + "_HEIGHT];\n" +
        "#endif\n";
}
