// The page's picture reading (web/png.js, bmp.js, picture.js) under Node,
// against the builds: each picture goes through Picture.prepare and through
// ImageMagick's two steps as the builds run them; the made BMP's pixels must
// equal the builds' bmp3 in every byte, or both must refuse the picture.
"use strict";
const test = require("node:test");
const assert = require("node:assert");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const vm = require("node:vm");
const zlib = require("node:zlib");
const { spawn, execFileSync } = require("node:child_process");

const root = path.join(__dirname, "..", "..");
for (const script of ["png.js", "bmp.js", "picture.js"]) {
    vm.runInThisContext(fs.readFileSync(path.join(root, "web", script), "utf8"), { filename: script });
}
const Picture = vm.runInThisContext("Picture");
const MAGICK = process.env.TAFELIX_MAGICK || "convert";
const GO_PNG = "/usr/share/go-1.19/src/image/png/testdata";   // Debian's golang-1.19-src
const BMPSUITE = path.join(root, "tests", "data", "bmpsuite");

// The builds' own picture step (tafelix.mk's), by hand: the bitmap it makes
// for tafelix (a copy of a BMP that goes as it is), or null when it refuses.
const HELPER = path.join(root, "share", "tafelix", "tafelix-picture.sh");
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "tafelix-picture-"));
process.on("exit", () => fs.rmSync(scratch, { recursive: true, force: true }));
const slots = Array.from({ length: Math.max(2, os.availableParallelism ? os.availableParallelism() : 2) }, () => Promise.resolve());
let next = 0;
function builds(kind, bytes, background, white) {
    const at = path.join(scratch, String(next));
    const picture = at + "." + kind;
    const made = at + "-made.bmp";
    const args = [HELPER, picture, made, background.toString(16).padStart(6, "0")].concat(white ? ["-wt"] : []);
    const run = () => new Promise((resolve) => {
        fs.writeFileSync(picture, bytes);
        const child = spawn("sh", args, { stdio: "ignore", env: { ...process.env, TAFELIX_MAGICK: MAGICK } });
        child.on("close", (status) => resolve(status === 0 ? new Uint8Array(fs.readFileSync(made)) : null));
    });
    const slot = next++ % slots.length;
    return (slots[slot] = slots[slot].then(run));
}

// The pixel rows of a BMP and its size: what tafelix reads of it.
function pixels(bmp) {
    const fields = Buffer.from(bmp.buffer, bmp.byteOffset, bmp.length);
    return { width: fields.readInt32LE(18), height: fields.readInt32LE(22), rows: bmp.subarray(fields.readUInt32LE(10)) };
}

async function pageOrNull(name, bytes, background, white) {
    try {
        return await Picture.prepare(name, bytes, { background, transparentWhite: white });
    } catch (error) {
        return null;
    }
}

// One picture both ways, with a background and -wt of the row's own.
async function assertSameAsBuilds(name, bytes, background = 0xffffff, white = false) {
    const kind = name.endsWith(".png") ? "png" : "bmp";
    const [page, built] = await Promise.all([pageOrNull(name, bytes, background, white), builds(kind, bytes, background, white)]);
    const what = name + " over " + background.toString(16) + (white ? " -wt" : "");
    if (page && !page.made) {
        assert.strictEqual(page.bitmap, bytes, what + " goes to tafelix as it is");
        return;
    }
    if (!page || !built) {
        assert.strictEqual(page && "converted", built && "converted", what + ": page and builds disagree");
        return;
    }
    const have = pixels(page.bitmap);
    const want = pixels(built);
    assert.deepStrictEqual([have.width, have.height], [want.width, want.height], what);
    const at = have.rows.findIndex((b, i) => b !== want.rows[i]);
    assert.ok(at < 0 && have.rows.length === want.rows.length,
        `${what}: byte ${at} of the pixel rows is ${have.rows[at]}, the builds' ${want.rows[at]}`);
}

// A PNG made here: samples(x, y) gives a pixel's samples at the file's depth;
// rows use filter types 0 to 4 in turn.
const CRC = Array.from({ length: 256 }, (_, n) => {
    for (let k = 0; k < 8; ++k) {
        n = n & 1 ? 0xedb88320 ^ (n >>> 1) : n >>> 1;
    }
    return n;
});
function chunk(type, data) {
    const body = Buffer.concat([Buffer.from(type, "latin1"), Buffer.from(data)]);
    const crc = ~body.reduce((c, b) => CRC[(c ^ b) & 255] ^ (c >>> 8), -1) >>> 0;
    const out = Buffer.alloc(body.length + 8);
    out.writeUInt32BE(data.length);
    body.copy(out, 4);
    out.writeUInt32BE(crc, body.length + 4);
    return out;
}
const PASSES = [[0, 0, 8, 8], [4, 0, 8, 8], [0, 4, 4, 8], [2, 0, 4, 4], [0, 2, 2, 4], [1, 0, 2, 2], [0, 1, 1, 2]];
function png({ width, height, colorType, depth, interlace = 0, samples, before = [], after = [] }) {
    const channels = { 0: 1, 2: 3, 3: 1, 4: 2, 6: 4 }[colorType];
    const step = Math.max(1, channels * depth >> 3);
    const raw = [];
    for (const [x0, y0, dx, dy] of interlace ? PASSES : [[0, 0, 1, 1]]) {
        let previous = null;
        for (let y = y0; y < height && x0 < width; y += dy) {
            const row = Buffer.alloc(Math.ceil(Math.ceil((width - x0) / dx) * channels * depth / 8));
            let bit = 0;
            for (let x = x0; x < width; x += dx) {
                for (const sample of samples(x, y)) {
                    if (depth === 16) {
                        row.writeUInt16BE(sample, bit >> 3);
                    } else {
                        row[bit >> 3] |= sample << (8 - depth - (bit & 7));
                    }
                    bit += depth;
                }
            }
            const filter = raw.length % 5;
            const up = previous || Buffer.alloc(row.length);
            const out = row.map((v, i) => {
                const a = i < step ? 0 : row[i - step];
                const c = i < step ? 0 : up[i - step];
                const p = a + up[i] - c;
                const paeth = Math.abs(p - a) <= Math.abs(p - up[i]) && Math.abs(p - a) <= Math.abs(p - c) ? a :
                    Math.abs(p - up[i]) <= Math.abs(p - c) ? up[i] : c;
                return v - [0, a, up[i], (a + up[i]) >> 1, paeth][filter];
            });
            raw.push(Buffer.from([filter]), out);
            previous = row;
        }
    }
    const header = Buffer.alloc(13);
    header.writeUInt32BE(width);
    header.writeUInt32BE(height, 4);
    header.set([depth, colorType, 0, 0, interlace], 8);
    return new Uint8Array(Buffer.concat([Buffer.from([137, 80, 78, 71, 13, 10, 26, 10]), chunk("IHDR", header),
        ...before, chunk("IDAT", zlib.deflateSync(Buffer.concat(raw))), ...after, chunk("IEND", [])]));
}

// Every colour type and bit depth, plain and interlaced, with tRNS where it
// goes (palette alphas; grey and RGB key colours that occur and that do not).
function generatedPngs() {
    const rows = [];
    const types = { 0: [1, 2, 4, 8, 16], 2: [8, 16], 3: [1, 2, 4, 8], 4: [8, 16], 6: [8, 16] };
    let seed = 7;
    const random = (n) => (seed = (seed * 1103515245 + 12345) & 0x7fffffff) % n;
    for (const [type, depths] of Object.entries(types)) {
        for (const depth of depths) {
            for (const interlace of [0, 1]) {
                const colorType = Number(type);
                const channels = { 0: 1, 2: 3, 3: 1, 4: 2, 6: 4 }[colorType];
                const width = 1 + random(17);
                const height = 1 + random(17);
                const top = colorType === 3 ? 2 ** depth - 1 : 2 ** depth - 1;
                const grid = Array.from({ length: width * height }, () => Array.from({ length: channels }, () => random(top + 1)));
                const base = { width, height, colorType, depth, interlace, samples: (x, y) => grid[y * width + x] };
                const name = `c${type}d${depth}${interlace ? "i" : ""}`;
                if (colorType === 3) {
                    const palette = chunk("PLTE", Array.from({ length: 3 * (top + 1) }, () => random(256)));
                    const alphas = chunk("tRNS", Array.from({ length: 1 + random(top + 1) }, () => random(256)));
                    rows.push([name, png({ ...base, before: [palette] })], [name + "-trns", png({ ...base, before: [palette, alphas] })]);
                    continue;
                }
                rows.push([name, png(base)]);
                if (colorType === 0 || colorType === 2) {
                    const key = grid[random(grid.length)];
                    for (const [suffix, sample] of [["key", key], ["key-absent", key.map((s) => s ^ 1)]]) {
                        rows.push([`${name}-${suffix}`, png({ ...base, before: [chunk("tRNS", Buffer.from(sample.flatMap((s) => [s >> 8, s & 255])))] })]);
                    }
                }
            }
        }
    }
    const rgba = { width: 9, height: 7, colorType: 6, depth: 8, samples: (x, y) => [x * 28, y * 36, (x * y * 5) & 255, (x + y) * 17] };
    const frame = (n, w, h) => chunk("fcTL", Buffer.from([0, 0, 0, n, 0, 0, 0, w, 0, 0, 0, h, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0, 10, 0, 0]));
    rows.push(["gama-1.0", png({ ...rgba, before: [chunk("gAMA", [0, 1, 0x86, 0xa0])] })],
        ["apng", png({ ...rgba, before: [chunk("acTL", [0, 0, 0, 2, 0, 0, 0, 0]), frame(0, 9, 7)],
            after: [frame(1, 2, 2), chunk("fdAT", Buffer.concat([Buffer.from([0, 0, 0, 2]), zlib.deflateSync(Buffer.alloc(18, 200))]))] })],
        ["too-wide", png({ width: 16001, height: 1, colorType: 0, depth: 1, samples: () => [1] })]);
    // Chunks the builds' PNG library objects to, even as a warning, and ones it takes.
    const parts = (bytes) => (function split(at) {
        return at >= bytes.length ? [] : [bytes.subarray(at, at + 12 + Buffer.from(bytes).readUInt32BE(at))].concat(split(at + 12 + Buffer.from(bytes).readUInt32BE(at)));
    })(8);
    const [ihdr, idat, iend] = parts(png(rgba));
    const idatData = idat.subarray(8, idat.length - 4);
    for (const [name, ...chunks] of [
        ["crc-ancillary", ihdr, Buffer.from(chunk("gAMA", [0, 1, 0x86, 0xa0])).fill(0, 12), idat, iend],
        ["gama-after-plte", ihdr, chunk("PLTE", [1, 2, 3]), chunk("gAMA", [0, 1, 0x86, 0xa0]), idat, iend],
        ["srgb-gamma-1.0", ihdr, chunk("sRGB", [0]), chunk("gAMA", [0, 1, 0x86, 0xa0]), idat, iend],
        ["srgb-other-cHRM", ihdr, chunk("sRGB", [0]), chunk("cHRM", [0, 0, 122, 38, 0, 0, 128, 132, 0, 0, 250, 0, 0, 0, 128, 232, 0, 0, 117, 48, 0, 0, 234, 96, 0, 0, 58, 152, 0, 0, 24, 56]), idat, iend],
        ["idat-split", ihdr, chunk("IDAT", idatData.subarray(0, 9)), chunk("tEXt", Buffer.from("a\0b")), chunk("IDAT", idatData.subarray(9)), iend],
        ["idat-junk", ihdr, chunk("IDAT", Buffer.concat([idatData, Buffer.from([1, 2, 3])])), iend],
        ["text-keyword", ihdr, chunk("tEXt", Buffer.from(" Title\0x")), idat, iend],
        ["text-ztxt-exif", ihdr, chunk("tEXt", Buffer.from("Title\0x")), chunk("zTXt", Buffer.concat([Buffer.from("Comment\0\0"), zlib.deflateSync("hi")])), chunk("eXIf", Buffer.from("MM\0*\0\0\0\x08\0\0")), idat, iend],
        ["critical-unknown", ihdr, chunk("ABCD", []), idat, iend],
        ["no-iend", ihdr, idat],
    ]) {
        rows.push([name, new Uint8Array(Buffer.concat([Buffer.from([137, 80, 78, 71, 13, 10, 26, 10]), ...chunks]))]);
    }
    return rows;
}

function filesIn(folder, extension) {
    return fs.readdirSync(folder).filter((f) => f.endsWith(extension)).sort().map((f) => [f, path.join(folder, f)]);
}

test("each corpus picture gives the builds' bitmap, or both refuse it", async () => {
    const corpus = [
        ...filesIn(path.join(GO_PNG, "pngsuite"), ".png"), ...filesIn(GO_PNG, ".png"),
        ...["g", "q", "b"].flatMap((folder) => filesIn(path.join(BMPSUITE, folder), ".bmp")),
    ].map(([name, file]) => [name, new Uint8Array(fs.readFileSync(file))]);
    assert.ok(corpus.length >= 35 + 13 + 88, "the PngSuite of golang-1.19-src and the bmpsuite are there");
    const backgrounds = [0xffffff, 0x000000, 0x123456];
    await Promise.all(corpus.concat(generatedPngs().map(([name, bytes]) => [name + ".png", bytes])).map(([name, bytes], i) =>
        assertSameAsBuilds(name, bytes, backgrounds[i % 3], i % 2 === 1)));
});

test("every alpha over every background, with and without -wt, is the builds' blend", async () => {
    // 256 alphas across, a colour ramp down: every (c, a) pair in red.
    const sweep = png({ width: 256, height: 256, colorType: 6, depth: 8, samples: (x, y) => [y, 255 - y, (y * 37) & 255, x] });
    await Promise.all([0xffffff, 0x000000, 0x123456].flatMap((background) =>
        [false, true].map((white) => assertSameAsBuilds("sweep.png", sweep, background, white))));
});

test("a picture's size comes from its header, and over the limit it is refused before decoding", async () => {
    const wide = (w, h) => [w & 255, w >> 8, h & 255, h >> 8];
    const riff = (chunkType, data) => new Uint8Array([...Buffer.from("RIFF\0\0\0\0WEBP" + chunkType, "latin1"), 0, 0, 0, 0, ...data]);
    const bmp = (header, fields) => new Uint8Array([66, 77, ...Array(12).fill(0), header, 0, 0, 0, ...fields, ...Array(40).fill(0)]);
    const le32 = (v) => [v & 255, v >> 8 & 255, v >> 16 & 255, v >>> 24];
    const be32 = (v) => [v >>> 24, v >> 16 & 255, v >> 8 & 255, v & 255];
    const pngStart = (w, h) => [...Buffer.from([137, 80, 78, 71, 13, 10, 26, 10]), ...chunk("IHDR", [...be32(w), ...be32(h), 1, 0, 0, 0, 0])];
    // 16000 x 16000 black pixels, 1 bit each: 32 MB of zeros in 31 KB.
    const bomb = new Uint8Array([...pngStart(16000, 16000), ...chunk("IDAT", zlib.deflateSync(Buffer.alloc(16000 * 2001))), ...chunk("IEND", [])]);
    const rows = [
        // name, bytes, the size the header gives
        ["bomb.png", bomb, [16000, 16000]],
        ["bomb.gif", new Uint8Array([...Buffer.from("GIF89a"), ...wide(9000, 8000), 0, 0, 0, 59]), [9000, 8000]],
        ["bomb.jpg", new Uint8Array([0xff, 0xd8, 0xff, 0xe0, 0, 4, 0, 0, 0xff, 0xc2, 0, 11, 8, 0x80, 0xe8, 0x80, 0xe9, 1, 1, 0x11, 0]), [33001, 33000]],
        ["vp8x.webp", riff("VP8X", [0, 0, 0, 0, ...le32(9999).slice(0, 3), ...le32(8999).slice(0, 3)]), [10000, 9000]],
        ["vp8l.webp", riff("VP8L", [0x2f, ...le32(11999 | 7999 << 14)]), [12000, 8000]],
        ["vp8.webp", riff("VP8 ", [0, 0, 0, 0x9d, 1, 0x2a, ...wide(16383, 16383)]), [16383, 16383]],
        ["bomb.bmp", bmp(40, [...le32(10000), ...le32(-9000), 1, 0, 8, 0]), [10000, 9000]],
        ["os2.bmp", bmp(12, [...wide(30000, 3000), 1, 0, 8, 0]), [30000, 3000]],
        ["edge.png", new Uint8Array(pngStart(8192, 8192)), [8192, 8192]],
    ];
    for (const [name, bytes, [width, height]] of rows) {
        assert.deepStrictEqual(Picture.size(Picture.kindOf(name), bytes), { width, height }, name);
        if (width * height <= Picture.LIMIT) {
            continue;
        }
        const started = performance.now();
        await assert.rejects(Picture.prepare(name, bytes, {}),
            { message: `${name} is ${width} x ${height} pixels, more than tafelix takes (8192 x 8192 = 67108864)` });
        console.log(`${name}: refused in ${(performance.now() - started).toFixed(1)} ms`);
    }
});

test("a name's kind decides, and content unlike it is refused", async () => {
    const pal8 = new Uint8Array(fs.readFileSync(path.join(BMPSUITE, "g", "pal8.bmp")));
    const rgb24 = new Uint8Array(fs.readFileSync(path.join(BMPSUITE, "g", "rgb24.bmp")));
    const gif = new Uint8Array([...Buffer.from("GIF87a"), 1, 0, 1, 0, 0, 0, 0, 59]);
    // Whole pictures pass our walk to the browser's decoder, which Node has not.
    const magick = (...options) => new Uint8Array(execFileSync(MAGICK, ["-size", "40x30", "-seed", "5", "plasma:fractal", ...options]));
    const jpeg = magick("-interlace", "Plane", "jpeg:-");
    const gifs = magick("(", "+clone", "-negate", ")", "gif:-");
    const webp = magick("-alpha", "set", "-channel", "A", "-fx", "i/w", "webp:-");
    const os2 = fs.readFileSync(path.join(BMPSUITE, "g", "pal8os2.bmp")).fill(0, 29, 34).fill(24, 28, 29);
    const cut = (bytes, keep) => bytes.subarray(0, Math.floor(bytes.length * keep));
    const passes = (name) => name + " cannot be decoded: it is a damaged " + { jpg: "JPEG", gif: "GIF", webp: "WebP" }[name.split(".")[1]] +
        " picture, or one this browser does not read";
    const rows = [
        // name, bytes, the message, or whether the bitmap is made or goes as it is
        ["logo.svg", gif, "logo.svg: tafelix takes .png, .jpg, .jpeg, .jpe, .gif, .webp, .bmp and .dib pictures"],
        ["logo", gif, "logo: tafelix takes .png, .jpg, .jpeg, .jpe, .gif, .webp, .bmp and .dib pictures"],
        ["logo.png", gif, "logo.png is not a PNG picture"],
        ["logo.JPE", gif, "logo.JPE is not a JPEG picture"],
        ["logo.gif", rgb24, "logo.gif is not a GIF picture"],
        ["logo.webp", new Uint8Array([...Buffer.from("RIFF\0\0\0\0WAVEfmt ")]), "logo.webp is not a WebP picture"],
        ["logo.BMP", rgb24, false],
        ["logo.dib", pal8, true],
        ["short.bmp", new Uint8Array([66, 77, 1, 2, 3]), false],
        ["text.bmp", new Uint8Array(Buffer.from("not a bitmap, but long enough to be read as one")), false],
        ["two.bmp", fs.readFileSync(path.join(BMPSUITE, "q", "pal2.bmp")), "two.bmp is a BMP picture tafelix cannot read: it has 2 bits a pixel, which are not read"],
        ["cut.png", png({ width: 3, height: 3, colorType: 0, depth: 8, samples: () => [9] }).subarray(0, 60), "cut.png is a damaged PNG picture: its IDAT chunk is cut short"],
        ["os2.bmp", os2, true],
        ["whole.jpg", jpeg, passes("whole.jpg")],
        ["cut.jpg", cut(jpeg, 0.6), "cut.jpg is a damaged JPEG picture: it ends before its end-of-image marker"],
        ["no-eoi.jpg", jpeg.subarray(0, -2), "no-eoi.jpg is a damaged JPEG picture: it ends before its end-of-image marker"],
        ["stray.jpg", new Uint8Array([...jpeg.subarray(0, 20), 0, ...jpeg.subarray(20)]), "stray.jpg is a damaged JPEG picture: it has stray bytes where a marker should be"],
        ["whole.gif", gifs, passes("whole.gif")],
        ["second-cut.gif", cut(gifs, 0.9), passes("second-cut.gif")],
        ["cut.gif", cut(gifs, 0.4), "cut.gif is a damaged GIF picture: it is cut short before its first image ends"],
        ["empty.gif", gif, "empty.gif is a damaged GIF picture: it ends before any image"],
        ["whole.webp", webp, passes("whole.webp")],
        ["cut.webp", cut(webp, 0.95), "cut.webp is a damaged WebP picture: it is shorter than its RIFF header says"],
    ];
    for (const [name, bytes, want] of rows) {
        if (typeof want === "string") {
            await assert.rejects(Picture.prepare(name, bytes, {}), { message: want }, name);
        } else {
            const page = await Picture.prepare(name, bytes, {});
            assert.strictEqual(page.made, want, name);
            assert.ok(want || page.bitmap === bytes, name + " goes to tafelix as it is");
        }
    }
});
