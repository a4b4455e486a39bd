// PNG files on the page, read by our own code into straight 8-bit RGBA, the
// values the builds get from ImageMagick: every colour type and bit depth,
// Adam7, palette and key-colour transparency, 16-bit samples rounded
// (round(v * 255 / 65535)), the IDAT image only (an APNG's default image),
// values as stored (gAMA, cHRM, iCCP, sRGB and sBIT change nothing). The
// browser's DecompressionStream inflates; rows are unfiltered as they come.
//
// What the builds' PNG library reports, even as a warning, fails the builds,
// so it fails here too: a bad CRC on any chunk, critical chunks missing, out
// of place or malformed, a tRNS that does not fit, compressed data that ends
// early or goes on too long, a palette index past the palette.
"use strict";

const Png = (() => {
    const SIGNATURE = [0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a];
    const LARGEST_CHUNK = 0x7fffffff;
    const GREY = 0;
    const RGB = 2;
    const PALETTE = 3;
    const GREY_ALPHA = 4;
    const CHANNELS = { 0: 1, 2: 3, 3: 1, 4: 2, 6: 4 };
    const DEPTHS = { 0: [1, 2, 4, 8, 16], 2: [8, 16], 3: [1, 2, 4, 8], 4: [8, 16], 6: [8, 16] };
    // Adam7: each pass's first column and row and its steps.
    const PASSES = [[0, 0, 8, 8], [4, 0, 8, 8], [0, 4, 4, 8], [2, 0, 4, 4], [0, 2, 2, 4], [1, 0, 2, 2], [0, 1, 1, 2]];

    const CRC_TABLE = new Int32Array(256).map((_, n) => {
        let c = n;
        for (let k = 0; k < 8; ++k) {
            c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
        }
        return c;
    });

    function crc32(bytes, from, to) {
        let c = -1;
        for (let i = from; i < to; ++i) {
            c = CRC_TABLE[(c ^ bytes[i]) & 0xff] ^ (c >>> 8);
        }
        return (c ^ -1) >>> 0;
    }

    function u32(bytes, at) {
        return (bytes[at] << 24 | bytes[at + 1] << 16 | bytes[at + 2] << 8 | bytes[at + 3]) >>> 0;
    }

    function hasSignature(bytes) {
        return bytes.length >= 8 && SIGNATURE.every((b, i) => bytes[i] === b);
    }

    // Our verdicts on the file, told apart from the inflater's own errors.
    function fail(reason) {
        const error = new Error(reason);
        error.verdict = true;
        throw error;
    }

    // The size from the header, or null when the file starts with no IHDR.
    function size(bytes) {
        if (!hasSignature(bytes) || bytes.length < 24 || String.fromCharCode(...bytes.subarray(12, 16)) !== "IHDR") {
            return null;
        }
        return { width: u32(bytes, 16), height: u32(bytes, 20) };
    }

    // The chunks that make the picture, checked as the PNG library checks them.
    function readChunks(bytes) {
        if (!hasSignature(bytes)) {
            fail("it does not start with the PNG signature");
        }
        const image = { palette: null, transparency: null, idat: [] };
        let at = 8;
        let state = "start";    // then "header", "data", "after data"
        for (;;) {
            if (at + 12 > bytes.length) {
                fail("it ends before its IEND chunk");
            }
            const length = u32(bytes, at);
            const type = String.fromCharCode(...bytes.subarray(at + 4, at + 8));
            const data = at + 8;
            if (length > LARGEST_CHUNK || !/^[A-Za-z]{4}$/.test(type)) {
                fail("a chunk header is damaged");
            }
            if (data + length + 4 > bytes.length) {
                fail("its " + type + " chunk is cut short");
            }
            if (crc32(bytes, at + 4, data + length) !== u32(bytes, data + length)) {
                fail("its " + type + " chunk fails its CRC check");
            }
            const body = bytes.subarray(data, data + length);
            at = data + length + 4;
            if (state === "start" && type !== "IHDR") {
                fail("it does not begin with an IHDR chunk");
            }
            if (type === "IDAT") {
                if (state === "after data") {
                    fail("its IDAT chunks are not all together");
                }
                if (image.colorType === PALETTE && !image.palette) {
                    fail("it has no palette");
                }
                state = "data";
                image.idat.push(body);
                continue;
            }
            if (state === "data") {
                state = "after data";
            }
            if (type === "IHDR") {
                if (state !== "start") {
                    fail("it has a second IHDR chunk");
                }
                readHeader(image, body);
                state = "header";
            } else if (type === "PLTE") {
                readPalette(image, body, state);
            } else if (type === "tRNS") {
                readTransparency(image, body, state);
            } else if (type === "IEND") {
                if (image.idat.length === 0 || length !== 0) {
                    fail(length !== 0 ? "its IEND chunk is damaged" : "it has no image data");
                }
                return image;
            } else if ((type.charCodeAt(0) & 0x20) === 0) {
                fail("it has a chunk (" + type + ") that must be understood, and is not");
            } else {
                checkAncillary(image, type, body, state);
            }
        }
    }

    // Where a chunk the PNG library reads may stand ("header": before the
    // image data; "palette": before PLTE too), whether it may come twice,
    // and what its body must be; the builds refuse a picture where it breaks
    // one of these (the library warns, and the builds take warnings as
    // failures).
    const ANCILLARY = {
        gAMA: { place: "palette", length: 4 },
        cHRM: { place: "palette", length: 32 },
        sRGB: { place: "palette", length: 1 },
        iCCP: { place: "palette" },
        sBIT: { place: "palette" },
        bKGD: { place: "header" },
        pHYs: { place: "header", length: 9 },
        oFFs: { place: "header", length: 9 },
        tIME: { length: 7 },
        eXIf: {},
        tEXt: { twice: true },
        zTXt: { twice: true },
        vpAg: { twice: true, length: 9 },
        caNv: { twice: true, length: 16 },
    };

    function checkAncillary(image, type, body, state) {
        const rule = ANCILLARY[type];
        if (!rule) {
            return;     // read by no one (hIST, iTXt, sPLT, an APNG's frames...)
        }
        const seen = image.seen || (image.seen = new Set());
        if ((rule.place && state !== "header") || (rule.place === "palette" && image.palette)) {
            fail("its " + type + " chunk is out of place");
        }
        if ((seen.has(type) && !rule.twice) || (type === "iCCP" && seen.has("sRGB"))) {
            fail("it has a second " + type + " chunk");
        }
        seen.add(type);
        if ((rule.length !== undefined && body.length !== rule.length) || !bodyValid(image, type, body)) {
            fail("its " + type + " chunk is damaged");
        }
    }

    function fixedPoint(body, at) {
        const v = u32(body, at);
        return v > LARGEST_CHUNK ? null : v;
    }

    // A keyword the builds' PNG writer takes again: 1 to 79 Latin-1
    // characters, printable, single spaces between words only.
    function keywordValid(body) {
        const end = body.indexOf(0);
        const key = body.subarray(0, end < 0 ? body.length : end);
        const text = String.fromCharCode(...key);
        return /^(png|jpeg):/i.test(text) || (key.length >= 1 && key.length <= 79 &&
            key.every((c) => c === 32 || (c > 32 && c <= 126) || c >= 161) && !/^ | $|  /.test(text));
    }

    function bodyValid(image, type, body) {
        const colour = (image.colorType & 2) !== 0;
        switch (type) {
        case "gAMA": {
            const gamma = fixedPoint(body, 0);
            image.gamma = gamma;
            return gamma !== null && gamma >= 16 && gamma <= 625000000 && sRGBConsistent(image);
        }
        case "cHRM": {
            const xy = [0, 4, 8, 12, 16, 20, 24, 28].map((at) => fixedPoint(body, at));
            image.chromaticities = xy;
            return !xy.includes(null) && chromaticitiesValid(xy) && sRGBConsistent(image);
        }
        case "sRGB":
            image.sRGB = image.gamma === undefined ? "first" : "after gAMA";
            return body[0] <= 3 && sRGBConsistent(image);
        case "sBIT": {
            const count = image.colorType === PALETTE ? 3 : CHANNELS[image.colorType];
            const most = image.colorType === PALETTE ? 8 : image.depth;
            return body.length === count && body.every((b) => b >= 1 && b <= most);
        }
        case "bKGD":
            if (image.colorType === PALETTE) {
                return image.palette !== null && body.length === 1 && body[0] * 4 < image.palette.length;
            }
            return body.length === (colour ? 6 : 2) && (image.depth === 16 ||
                (colour ? body[0] === 0 && body[2] === 0 && body[4] === 0 : body[0] === 0 && body[1] < 2 ** image.depth));
        case "tIME":
            return body[2] >= 1 && body[2] <= 12 && body[3] >= 1 && body[3] <= 31 && body[4] <= 23 && body[5] <= 59 &&
                body[6] <= 60;
        case "eXIf":
            return body.length >= 2 && (body[0] === 0x4d || body[0] === 0x49) && body[1] === body[0];
        case "tEXt":
            return body.length <= 65535 && keywordValid(body);
        case "zTXt":
        case "iCCP": {
            const end = body.indexOf(0);
            if (end < 1 || end > 79 || end + 2 >= body.length || body[end + 1] !== 0 ||
                    (type === "zTXt" && !keywordValid(body)) || (type === "iCCP" && body.length < 14)) {
                return false;
            }
            // Inflated and checked with the image data.
            (image.compressed || (image.compressed = [])).push({ type, data: body.subarray(end + 2) });
            return true;
        }
        default:
            return true;
        }
    }

    // Rounding as the builds' PNG library rounds (its fixed point: 1/100000).
    function muldiv(a, times, divisor) {
        if (divisor === 0) {
            return null;
        }
        if (a === 0 || times === 0) {
            return 0;
        }
        const r = Math.floor(a * times / divisor + 0.5);
        return r <= 2147483647 && r >= -2147483648 ? r : null;
    }

    function reciprocal(a) {
        const r = Math.floor(1e10 / a + 0.5);
        return r <= 2147483647 && r >= -2147483648 ? r : 0;
    }

    // Whether the PNG library finds chromaticities (white, red, green, blue;
    // x and y in 1/100000) it can turn into XYZ and back.
    function chromaticitiesValid([wx, wy, rx, ry, gx, gy, bx, by]) {
        const ONE = 100000;
        if (rx < 0 || rx > ONE || ry < 0 || ry > ONE - rx || gx < 0 || gx > ONE || gy < 0 || gy > ONE - gx ||
                bx < 0 || bx > ONE || by < 0 || by > ONE - bx || wx < 0 || wx > ONE || wy < 5 || wy > ONE - wx) {
            return false;
        }
        const steps = [[gx - bx, ry - by, 7], [gy - by, rx - bx, 7], [gx - bx, wy - by, 7], [gy - by, wx - bx, 7],
            [ry - by, wx - bx, 7], [rx - bx, wy - by, 7]].map(([a, t, d]) => muldiv(a, t, d));
        if (steps.includes(null)) {
            return false;
        }
        const denominator = (steps[0] - steps[1]) | 0;   // int32, as the library computes
        const redInverse = muldiv(wy, denominator, (steps[2] - steps[3]) | 0);
        const greenInverse = muldiv(wy, denominator, (steps[4] - steps[5]) | 0);
        if (redInverse === null || redInverse <= wy || greenInverse === null || greenInverse <= wy) {
            return false;
        }
        const blueScale = (reciprocal(wy) - reciprocal(redInverse) - reciprocal(greenInverse)) | 0;
        if (blueScale <= 0) {
            return false;
        }
        const XYZ = [[rx, ONE, redInverse], [ry, ONE, redInverse], [ONE - rx - ry, ONE, redInverse],
            [gx, ONE, greenInverse], [gy, ONE, greenInverse], [ONE - gx - gy, ONE, greenInverse],
            [bx, blueScale, ONE], [by, blueScale, ONE], [ONE - bx - by, blueScale, ONE]].map(([a, t, d]) => muldiv(a, t, d));
        if (XYZ.includes(null)) {
            return false;
        }
        // And back: each end point within 5/100000 of where it started.
        const back = [];
        const white = [0, 0, 0];
        for (let i = 0; i < 9; i += 3) {
            const d = (XYZ[i] + XYZ[i + 1] + XYZ[i + 2]) | 0;
            back.push(muldiv(XYZ[i], ONE, d), muldiv(XYZ[i + 1], ONE, d));
            white[0] = (white[0] + XYZ[i]) | 0;
            white[1] = (white[1] + XYZ[i + 1]) | 0;
            white[2] = (white[2] + d) | 0;
        }
        back.unshift(muldiv(white[0], ONE, white[2]), muldiv(white[1], ONE, white[2]));
        return !back.includes(null) && back.every((v, i) => Math.abs(v - [wx, wy, rx, ry, gx, gy, bx, by][i]) <= 5);
    }

    // gAMA, cHRM and sRGB together: the gamma within 5 % of sRGB's and the
    // chromaticities within 0.001 of sRGB's.
    function sRGBConsistent(image) {
        if (!image.sRGB) {
            return true;
        }
        const srgb = [31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000];
        const gamma = image.gamma === undefined ? 45455 : image.gamma;
        const ratio = image.sRGB === "first" ? Math.floor(45455 * 100000 / gamma + 0.5) :
            Math.floor(gamma * 100000 / 45455 + 0.5);
        return ratio >= 95000 && ratio <= 105000 &&
            (!image.chromaticities || image.chromaticities.every((v, i) => Math.abs(v - srgb[i]) <= 100));
    }

    // A colour profile the PNG library takes: its header, its colour space
    // for this colour type and its tag table.
    function profileValid(profile, colorType) {
        const D50 = [0, 0, 0xf6, 0xd6, 0, 1, 0, 0, 0, 0, 0xd3, 0x2d];
        if (profile.length < 132 || u32(profile, 0) !== profile.length || (profile[8] > 3 && profile.length % 4)) {
            return false;
        }
        const tags = u32(profile, 128);
        const space = u32(profile, 16);
        if (tags > 357913930 || profile.length < 132 + 12 * tags || u32(profile, 64) > 3 ||
                u32(profile, 36) !== 0x61637370 || D50.some((b, i) => profile[68 + i] !== b) ||
                space !== ((colorType & 2) ? 0x52474220 : 0x47524159) ||
                ![0x73636e72, 0x6d6e7472, 0x70727472, 0x73706163].includes(u32(profile, 12)) ||
                ![0x58595a20, 0x4c616220].includes(u32(profile, 20))) {
            return false;
        }
        for (let i = 0; i < tags; ++i) {
            const start = u32(profile, 136 + 12 * i);
            const length = u32(profile, 140 + 12 * i);
            if (start > profile.length || length > profile.length - start || (start & 3) !== 0) {
                return false;
            }
        }
        return true;
    }

    function readHeader(image, body) {
        if (body.length !== 13) {
            fail("its IHDR chunk is damaged");
        }
        image.width = u32(body, 0);
        image.height = u32(body, 4);
        image.depth = body[8];
        image.colorType = body[9];
        image.interlaced = body[12] === 1;
        if (image.width === 0 || image.height === 0 || image.width > LARGEST_CHUNK || image.height > LARGEST_CHUNK) {
            fail("its width or height is out of range");
        }
        if (!(DEPTHS[image.colorType] || []).includes(image.depth) || body[10] !== 0 || body[11] !== 0 || body[12] > 1) {
            fail("its IHDR chunk names a colour type, bit depth or method that does not exist");
        }
    }

    function readPalette(image, body, state) {
        if (image.palette) {
            fail("it has a second palette");
        }
        if (state !== "header" || (image.colorType & 2) === 0) {
            fail("its palette is out of place");
        }
        if (body.length > 768 || body.length % 3 !== 0) {
            fail("its palette is damaged");
        }
        if (image.transparency || (image.seen && image.seen.has("bKGD"))) {
            fail("its tRNS or bKGD chunk comes before its palette");
        }
        if (image.colorType !== PALETTE) {
            image.palette = true;   // a suggestion for RGB viewers, ignored
            return;
        }
        const count = Math.min(body.length / 3, 2 ** image.depth);
        image.palette = new Uint8Array(count * 4).fill(255);
        for (let i = 0; i < count; ++i) {
            image.palette.set(body.subarray(i * 3, i * 3 + 3), i * 4);
        }
    }

    function readTransparency(image, body, state) {
        if (state !== "header" || image.transparency || (image.colorType === PALETTE && !image.palette)) {
            fail("its tRNS chunk is out of place");
        }
        const max = 2 ** image.depth - 1;
        const samples = Array.from({ length: body.length >> 1 }, (_, i) => body[i * 2] << 8 | body[i * 2 + 1]);
        if (image.colorType === PALETTE) {
            if (body.length === 0 || body.length * 4 > image.palette.length) {
                fail("its tRNS chunk is damaged");
            }
            for (let i = 0; i < body.length; ++i) {
                image.palette[i * 4 + 3] = body[i];
            }
        } else if (image.colorType === GREY || image.colorType === RGB) {
            if (body.length !== (image.colorType === GREY ? 2 : 6) || samples.some((s) => s > max)) {
                fail("its tRNS chunk is damaged");
            }
            image.key = samples;
        } else {
            fail("its tRNS chunk goes with a colour type that has alpha already");
        }
        image.transparency = true;
    }

    // A 16-bit sample rounded to 8 bits, as the builds' PNG writer rounds
    // (BMP's 16-bit samples too).
    function to8(v) {
        return Math.floor((v * 255 + 32767) / 65535);
    }

    // Turns unfiltered rows into RGBA pixels at their place in the picture.
    function pixelWriter(image, rgba) {
        const { width, depth, colorType, palette, key } = image;
        const channels = CHANNELS[colorType];
        const scale = depth < 8 ? 255 / (2 ** depth - 1) : 1;
        let badIndex = false;
        const sample = (row, i) => depth === 16 ? row[i * 2] << 8 | row[i * 2 + 1] : depth === 8 ? row[i] :
            row[(i * depth) >> 3] >> (8 - depth - ((i * depth) & 7)) & (2 ** depth - 1);
        const eight = (v) => depth === 16 ? to8(v) : depth < 8 ? v * scale : v;
        const write = (row, y, x0, dx) => {
            let to = (y * width + x0) * 4;
            if (depth === 8 && (colorType === 6 || (colorType === RGB && !key))) {
                // The common cases, sample for sample.
                for (let i = 0; i < row.length; i += channels, to += dx * 4) {
                    rgba[to] = row[i];
                    rgba[to + 1] = row[i + 1];
                    rgba[to + 2] = row[i + 2];
                    rgba[to + 3] = channels === 4 ? row[i + 3] : 255;
                }
                return;
            }
            for (let x = 0, i = 0; x0 + x * dx < width; ++x, i += channels, to += dx * 4) {
                if (colorType === PALETTE) {
                    const index = sample(row, i);
                    if (index * 4 >= palette.length) {
                        badIndex = true;
                        continue;
                    }
                    rgba[to] = palette[index * 4];
                    rgba[to + 1] = palette[index * 4 + 1];
                    rgba[to + 2] = palette[index * 4 + 2];
                    rgba[to + 3] = palette[index * 4 + 3];
                } else if (channels <= 2) {
                    const grey = sample(row, i);
                    rgba[to] = rgba[to + 1] = rgba[to + 2] = eight(grey);
                    rgba[to + 3] = channels === 2 ? eight(sample(row, i + 1)) : key && grey === key[0] ? 0 : 255;
                } else {
                    const r = sample(row, i);
                    const g = sample(row, i + 1);
                    const b = sample(row, i + 2);
                    rgba[to] = eight(r);
                    rgba[to + 1] = eight(g);
                    rgba[to + 2] = eight(b);
                    rgba[to + 3] = channels === 4 ? eight(sample(row, i + 3)) :
                        key && r === key[0] && g === key[1] && b === key[2] ? 0 : 255;
                }
            }
        };
        write.badIndex = () => badIndex;
        return write;
    }

    // The rows of each pass, in the order they come in the inflated data.
    function rowPlan(image) {
        const bitsPerPixel = image.depth * CHANNELS[image.colorType];
        const passes = image.interlaced ? PASSES : [[0, 0, 1, 1]];
        const plan = [];
        for (const [x0, y0, dx, dy] of passes) {
            const columns = Math.ceil((image.width - x0) / dx);
            const rows = Math.ceil((image.height - y0) / dy);
            if (columns > 0 && rows > 0) {
                plan.push({ x0, y0, dx, dy, rows, rowBytes: Math.ceil(columns * bitsPerPixel / 8) });
            }
        }
        return { plan, pixelBytes: Math.max(1, bitsPerPixel >> 3) };
    }

    function unfilter(filter, row, previous, pixelBytes) {
        const n = row.length;
        if (filter === 1) {
            for (let i = pixelBytes; i < n; ++i) {
                row[i] = row[i] + row[i - pixelBytes];
            }
        } else if (filter === 2) {
            for (let i = 0; i < n; ++i) {
                row[i] = row[i] + previous[i];
            }
        } else if (filter === 3) {
            for (let i = 0; i < n; ++i) {
                row[i] = row[i] + ((i < pixelBytes ? 0 : row[i - pixelBytes]) + previous[i] >> 1);
            }
        } else if (filter === 4) {
            for (let i = 0; i < n; ++i) {
                const a = i < pixelBytes ? 0 : row[i - pixelBytes];
                const b = previous[i];
                const c = i < pixelBytes ? 0 : previous[i - pixelBytes];
                const pa = Math.abs(b - c);
                const pb = Math.abs(a - c);
                const pc = Math.abs(a + b - 2 * c);
                row[i] = row[i] + (pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
            }
        } else if (filter !== 0) {
            fail("a row has an unknown filter (" + filter + ")");
        }
    }

    // The last four bytes of data split into parts.
    function tail(parts) {
        const last = [];
        for (let p = parts.length - 1; p >= 0 && last.length < 4; --p) {
            for (let i = parts[p].length - 1; i >= 0 && last.length < 4; --i) {
                last.unshift(parts[p][i]);
            }
        }
        return last.length === 4 ? (last[0] << 24 | last[1] << 16 | last[2] << 8 | last[3]) >>> 0 : -1;
    }

    // Inflates a zlib stream, handing each piece of output on as it comes;
    // false when the stream is damaged or data follows its end (which some
    // browsers' inflaters pass over): the stream must end with the Adler-32
    // of what it holds.
    async function inflate(parts, onData) {
        let a = 1;
        let b = 0;
        const stream = new DecompressionStream("deflate");
        const writer = stream.writable.getWriter();
        const reader = stream.readable.getReader();
        const writing = (async () => {
            for (const part of parts) {
                await writer.write(part);
            }
            await writer.close();
        })();
        writing.catch(() => {});
        try {
            for (;;) {
                const { done, value } = await reader.read();
                if (done) {
                    break;
                }
                onData(value);
                for (let i = 0; i < value.length;) {
                    for (const end = Math.min(i + 5552, value.length); i < end; ++i) {
                        a += value[i];
                        b += a;
                    }
                    a %= 65521;
                    b %= 65521;
                }
            }
            await writing;
        } catch (error) {
            reader.cancel().catch(() => {});
            if (error.verdict) {
                throw error;
            }
            return false;
        }
        return tail(parts) === ((b << 16 | a) >>> 0);
    }

    // The image data's whole rows (filter byte first), pass by pass.
    async function inflateRows(parts, plan, onRow) {
        let pass = 0;
        let row = new Uint8Array(plan[0].rowBytes + 1);
        let filled = 0;
        let rowsLeft = plan[0].rows;
        const whole = await inflate(parts, (value) => {
            for (let at = 0; at < value.length;) {
                if (pass === plan.length) {
                    fail("its compressed data holds more than the picture");
                }
                const count = Math.min(row.length - filled, value.length - at);
                row.set(value.subarray(at, at + count), filled);
                filled += count;
                at += count;
                if (filled === row.length) {
                    onRow(pass, row);
                    filled = 0;
                    if (--rowsLeft === 0 && ++pass < plan.length) {
                        row = new Uint8Array(plan[pass].rowBytes + 1);
                        rowsLeft = plan[pass].rows;
                    }
                }
            }
        });
        if (!whole) {
            fail("its compressed data is damaged");
        }
        if (pass < plan.length) {
            fail("its compressed data ends before the picture does");
        }
    }

    // zTXt text and an iCCP profile must inflate, and the profile pass the
    // PNG library's checks.
    async function checkCompressed(image) {
        for (const { type, data } of image.compressed || []) {
            const pieces = [];
            const whole = await inflate([data], (value) => pieces.push(value));
            let profile = null;
            if (whole && type === "iCCP") {
                profile = new Uint8Array(pieces.reduce((sum, piece) => sum + piece.length, 0));
                pieces.reduce((at, piece) => (profile.set(piece, at), at + piece.length), 0);
            }
            if (!whole || (profile && !profileValid(profile, image.colorType))) {
                fail("its " + type + " chunk is damaged");
            }
        }
    }

    async function decode(bytes) {
        const image = readChunks(bytes);
        await checkCompressed(image);
        const { width, height } = image;
        const rgba = new Uint8Array(width * height * 4);
        const { plan, pixelBytes } = rowPlan(image);
        const write = pixelWriter(image, rgba);
        const previous = plan.map((pass) => new Uint8Array(pass.rowBytes));
        const y = plan.map((pass) => pass.y0);
        await inflateRows(image.idat, plan, (p, filtered) => {
            const row = filtered.subarray(1);
            unfilter(filtered[0], row, previous[p], pixelBytes);
            write(row, y[p], plan[p].x0, plan[p].dx);
            y[p] += plan[p].dy;
            previous[p].set(row);
        });
        if (write.badIndex()) {
            fail("a pixel names a colour its palette lacks");
        }
        return { width, height, rgba };
    }

    return { hasSignature, size, decode, chromaticitiesValid, to8 };
})();
