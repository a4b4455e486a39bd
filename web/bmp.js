// BMP files on the page: the one reader of the header's fields, where a BMP
// goes (to tafelix as it is, or decoded here), and a decoder that gives the
// straight RGBA the builds get from ImageMagick 6.9.11's BMP coder, refusing
// what that coder refuses.
//
// The decoder follows the coder's reading order, because its verdicts depend
// on it: fields are read one after another (a field past the end reads 0),
// the palette from the end of the header, the pixels from the data offset.
// Samples of 16 and 32 bits a pixel are widened to 16 bits the coder's way,
// then rounded to 8 bits as the builds' PNG writer rounds them. Anything the
// coder reports, even as it goes on (a file size field unlike the length, a
// palette index past the palette, run-length data running off the end),
// fails the builds, and so fails here.
//
// Uses Png (png.js) for the PNG library's check of chromaticities.
"use strict";

const Bmp = (() => {
    // Places in the file header and the Windows info header that follows it.
    const HEADER_SIZE = 14;
    const WIDTH = 18;
    const HEIGHT = 22;
    const BIT_COUNT = 28;
    const COMPRESSION = 30;
    const SHORTEST = 34;    // through the compression field
    const OS2_HEADER = 12;  // OS/2 1.x: 16-bit width and height, no compression
    const OS2_V2_HEADER = 64;
    const LARGEST_HEADER = 124;

    const RGB = 0;
    const RLE8 = 1;
    const RLE4 = 2;
    const BITFIELDS = 3;
    const EMBEDDED_PROFILE = 0x4d424544;   // "MBED"

    // The coder maps a file larger than this into memory; seeking past its
    // end then fails at once instead of at the next read.
    const MAPPED_FROM = 81920;

    // Reads little-endian fields one after another, as the coder does: a
    // field that runs past the end reads 0 and marks the end reached.
    function cursor(bytes) {
        const reader = { pos: 0, ended: false };
        reader.take = (count) => {
            if (reader.pos + count > bytes.length) {
                reader.pos = Math.max(reader.pos, bytes.length);
                reader.ended = true;
                return null;
            }
            reader.pos += count;
            return reader.pos - count;
        };
        reader.u16 = () => {
            const at = reader.take(2);
            return at === null ? 0 : bytes[at] | bytes[at + 1] << 8;
        };
        reader.u32 = () => {
            const at = reader.take(4);
            return at === null ? 0 : (bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | bytes[at + 3] << 24) >>> 0;
        };
        reader.byte = () => {
            const at = reader.take(1);
            return at === null ? -1 : bytes[at];
        };
        reader.seek = (to) => {
            if (bytes.length > MAPPED_FROM && to >= bytes.length) {
                return false;
            }
            reader.pos = to;
            reader.ended = false;
            return true;
        };
        return reader;
    }

    // The header's fields by name, read as the coder reads them, and the
    // bit count and compression where tafelix reads them (the Windows
    // header's places, whatever the header).
    function header(bytes) {
        const read = cursor(bytes);
        const h = { type: String.fromCharCode(bytes[0] || 0, bytes[1] || 0) };
        const at = (place, count) => bytes.subarray(place, place + count).reduceRight((v, b) => v * 256 + b, 0);
        h.asTafelixReads = { bitCount: at(BIT_COUNT, 2), compression: at(COMPRESSION, 4),
            width: at(WIDTH, 4) | 0, height: at(HEIGHT, 4) | 0 };
        read.take(2);
        h.fileSize = read.u32();
        read.u32();
        h.dataOffset = read.u32();
        h.headerSize = read.u32();
        h.compression = RGB;
        h.colors = 0;
        h.masks = [0, 0, 0, 0];
        h.chromaticity = null;
        h.profile = null;
        if (h.headerSize === OS2_HEADER) {
            h.width = read.u16() << 16 >> 16;
            h.height = read.u16() << 16 >> 16;
            h.planes = read.u16();
            h.bitCount = read.u16();
            return h;
        }
        h.width = read.u32() | 0;
        h.height = read.u32() | 0;
        h.planes = read.u16();
        h.bitCount = read.u16();
        h.compression = read.u32();
        if (h.headerSize > 16) {
            read.u32();     // image size
            read.u32();     // resolution
            read.u32();
            h.colors = read.u32();
            read.u32();     // colours important
        }
        if (h.headerSize > 40 || h.compression === BITFIELDS) {
            h.masks = [read.u32(), read.u32(), read.u32(), 0];
        }
        if (h.headerSize > 40) {
            h.masks[3] = read.u32();
            h.colorSpace = read.u32();
            const fixed = [];
            for (let i = 0; i < 9; ++i) {
                fixed.push(read.u32() / 0x40000000);
            }
            const gammas = [read.u32(), read.u32(), read.u32()].map((g) => g / 0x10000);
            h.chromaticity = { primaries: [0, 3, 6].map((i) => {
                const sum = fixed[i] + fixed[i + 1] + fixed[i + 2];
                const scale = sum >= 1e-12 ? 1 / sum : 1e12;
                return [fixed[i] * scale, fixed[i + 1] * scale];
            }), gamma: (gammas[0] + gammas[1] + gammas[2]) / 3 };
        }
        if (h.headerSize > 108) {
            read.u32();     // intent
            h.profile = { offset: read.u32(), size: read.u32() };
            read.u32();
        }
        return h;
    }

    // A BMP goes to tafelix as it is when its header is too damaged to say
    // (too short, not "BM", or a bit count or compression no BMP has) or
    // when it is an uncompressed 24-bit one (the fields read where tafelix
    // reads them): tafelix's own messages then say what is wrong. One with
    // OS/2's 12-byte header never does, whatever those places hold (its
    // palette): tafelix reads the Windows header only. The builds route BMPs
    // the same way.
    function goesAsIs(bytes) {
        const h = header(bytes);
        const { bitCount, compression } = h.asTafelixReads;
        if (bytes.length < SHORTEST || h.type !== "BM") {
            return true;
        }
        return h.headerSize !== OS2_HEADER &&
            ((bitCount === 24 && compression === RGB) || ![1, 2, 4, 8, 16, 24, 32].includes(bitCount) || compression > 6);
    }

    // The picture's size, or null when the header gives none the coder takes.
    function size(bytes) {
        if (bytes.length < HEADER_SIZE + 4) {
            return null;
        }
        const h = header(bytes);
        return h.width > 0 && h.height !== 0 ? { width: h.width, height: Math.abs(h.height) } : null;
    }

    // The builds' PNG writer stores a header's gamma (unless a colour profile
    // is stored) and its chromaticities (when red's x is not 0); its PNG
    // library refuses values out of range, and so the builds refuse the BMP.
    // Headers over 40 bytes carry both, read from wherever they would be,
    // within the header or not.
    function colorimetryRefused(chromaticity, hasProfile) {
        const fixed = (v) => Math.floor(100000 * v + 0.5);
        const inRange = (v) => v <= 2147483647 && v >= -2147483648;
        const gamma = fixed(chromaticity.gamma);
        if (!hasProfile && chromaticity.gamma !== 0 && (!inRange(gamma) || gamma < 16 || gamma > 625000000)) {
            return true;
        }
        const [[rx, ry], [gx, gy], [bx, by]] = chromaticity.primaries;
        if (rx === 0) {
            return false;
        }
        const xy = [31270, 32900].concat([rx, ry, gx, gy, bx, by].map(fixed));
        return xy.some((v) => !inRange(v)) || !Png.chromaticitiesValid(xy);
    }

    function fail(reason) {
        throw new Error(reason);
    }

    // Run-length data into one palette index a byte, the first row in the
    // file first; false when a delta runs off the end.
    function expandRuns(read, compression, pixels, columns, rows) {
        const end = pixels.length;
        let p = 0;
        let x = 0;
        let y = 0;
        let value = 0;
        while (y < rows && p >= 0 && p < end) {
            let count = read.byte();
            if (count === -1) {
                break;
            }
            if (count > 0) {
                count = Math.min(count, end - p);
                value = read.byte();
                if (value === -1) {
                    break;
                }
                for (let i = 0; i < count; ++i) {
                    pixels[p++] = compression === RLE8 ? value : (i & 1 ? value & 15 : value >> 4);
                }
                x += count;
                continue;
            }
            count = read.byte();
            if (count === -1 || count === 1) {
                break;
            }
            if (count === 0) {
                x = 0;
                ++y;
                p = y * columns;
            } else if (count === 2) {
                const dx = read.byte();
                if (dx === -1) {
                    return false;
                }
                x += dx;
                const dy = read.byte();
                if (dy === -1) {
                    return false;
                }
                y += dy;
                p = y * columns + x;
            } else {
                count = Math.min(count, end - p);
                for (let i = 0; i < count; ++i) {
                    if (compression === RLE8 || (i & 1) === 0) {
                        value = read.byte();
                        if (value === -1) {
                            break;
                        }
                    }
                    pixels[p++] = compression === RLE8 ? value : (i & 1 ? value & 15 : value >> 4);
                }
                if (value === -1) {
                    break;
                }
                x += count;
                const padded = compression === RLE8 ? (count & 1) !== 0 : (count & 3) === 1 || (count & 3) === 2;
                if (padded && read.byte() === -1) {
                    break;
                }
            }
        }
        read.byte();    // the end of the last line, which the coder always reads
        read.byte();
        return true;
    }

    // Where a mask starts (counted from the top bit) and how many bits it has.
    function maskField(mask) {
        let shift = 0;
        if (mask !== 0) {
            while (((mask << shift) & 0x80000000) === 0) {
                ++shift;
            }
        }
        let bits = shift;
        while (bits < 32 && ((mask << bits) & 0x80000000) !== 0) {
            ++bits;
        }
        return { mask, shift, bits: bits - shift };
    }

    // The widened 16-bit sample of one field (channel 0 to 3: red, green,
    // blue, alpha), the coder's way for 16 and for 32 bits a pixel, which
    // differ: 16-bit pixels also repeat the top bits of 5-bit colour fields
    // and of a 6-bit green one, 32-bit pixels repeat only 8-bit fields.
    function sample16(pixel, field, wide, channel) {
        let v = ((pixel & field.mask) << field.shift) >>> 16;
        if (wide) {
            return field.bits === 8 ? v | v >> 8 : v;
        }
        if (channel < 3 && field.bits === 5) {
            v |= (v & 0xe000) >> 5;
        }
        if (channel === 1 && field.bits === 6) {
            v |= (v & 0xc000) >> 6;
        }
        return field.bits <= 8 ? v | (v & 0xff00) >> 8 : v;
    }

    function decode(bytes) {
        const h = header(bytes);
        if (h.type !== "BM") {
            fail("it does not start with BM");
        }
        const length = bytes.length;
        if (h.headerSize > LARGEST_HEADER || (h.fileSize !== 0 && h.fileSize > length) || h.dataOffset < h.headerSize) {
            fail("its header is damaged");
        }
        if (h.fileSize !== length) {
            fail("its file size field says " + h.fileSize + " bytes, but it has " + length);
        }
        if (h.width <= 0 || h.height === 0) {
            fail("its width or height is zero or negative");
        }
        if (h.planes !== 1) {
            fail("its planes field is not 1");
        }
        if (![1, 4, 8, 16, 24, 32].includes(h.bitCount)) {
            fail("it has " + h.bitCount + " bits a pixel, which are not read");
        }
        if (h.bitCount < 16 && h.colors > 2 ** h.bitCount) {
            fail("its palette has more colours than " + h.bitCount + " bits a pixel can use");
        }
        if ((h.compression === RLE8 && h.bitCount !== 8) || (h.compression === RLE4 && h.bitCount !== 4) ||
                (h.compression === BITFIELDS && h.bitCount < 16)) {
            fail("its compression does not go with " + h.bitCount + " bits a pixel");
        }
        if (h.compression > BITFIELDS) {
            fail(h.compression === 4 ? "it holds a JPEG, which is not read" : h.compression === 5 ?
                "it holds a PNG, which is not read" : "its compression (" + h.compression + ") is unknown");
        }
        const read = cursor(bytes);
        const columns = h.width;
        const rows = Math.abs(h.height);
        let palette = null;
        if (h.bitCount < 16) {
            const count = h.colors || 2 ** h.bitCount;
            const entry = h.headerSize === OS2_HEADER || h.headerSize === OS2_V2_HEADER ? 3 : 4;
            if (!read.seek(HEADER_SIZE + h.headerSize)) {
                fail("its header is damaged");
            }
            const at = read.take(entry * count);
            if (at === null) {
                fail("its palette is cut short");
            }
            palette = new Uint8Array(count * 4);
            for (let i = 0; i < count; ++i) {
                palette.set([bytes[at + i * entry + 2], bytes[at + i * entry + 1], bytes[at + i * entry], 255], i * 4);
            }
        }
        if (h.dataOffset === 0 || !read.seek(h.dataOffset)) {
            fail("its header is damaged");
        }
        const bitCount = h.compression === RLE4 ? 8 : h.bitCount;
        const rowBytes = 4 * Math.floor((columns * bitCount + 31) / 32);
        const dataLength = rowBytes * rows;
        if (columns * bitCount > 0xffffffff || dataLength > 0xffffffff || Math.floor(dataLength / 256) > length) {
            fail("its pixel data is cut short");
        }
        let pixels;
        let stride = rowBytes;
        if (h.compression === RGB || h.compression === BITFIELDS) {
            const at = read.take(dataLength);
            if (at === null) {
                fail("its pixel data is cut short");
            }
            pixels = bytes.subarray(at, at + dataLength);
        } else {
            pixels = new Uint8Array(columns * rows);
            stride = columns;
            if (!expandRuns(read, h.compression, pixels, columns, rows)) {
                fail("its run-length data is damaged");
            }
        }

        let masks = h.masks;
        let alpha = h.masks[3] !== 0 && h.compression === BITFIELDS;
        if (h.compression === RGB) {
            if (h.headerSize === 40 && bitCount === 32) {
                for (let i = 3; i < pixels.length && !alpha; i += 4) {
                    alpha = pixels[i] !== 0;
                }
            }
            masks = bitCount === 16 ? [0x7c00, 0x3e0, 0x1f, 0] : [0xff0000, 0xff00, 0xff, alpha ? 0xff000000 : 0];
        }
        const fields = masks.map(maskField);

        const rgba = new Uint8Array(columns * rows * 4);
        let badIndex = false;
        for (let y = 0; y < rows; ++y) {
            // The file's first row is the bottom one unless the height is negative.
            const from = (h.height < 0 ? y : rows - 1 - y) * stride;
            let to = y * columns * 4;
            for (let x = 0; x < columns; ++x, to += 4) {
                if (palette) {
                    let index;
                    if (bitCount === 1) {
                        index = pixels[from + (x >> 3)] >> (7 - (x & 7)) & 1;
                    } else if (bitCount === 4) {
                        index = pixels[from + (x >> 1)] >> (x & 1 ? 0 : 4) & 15;
                    } else {
                        index = pixels[from + x];
                    }
                    if (index * 4 >= palette.length) {
                        badIndex = true;
                        index = 0;
                    }
                    rgba[to] = palette[index * 4];
                    rgba[to + 1] = palette[index * 4 + 1];
                    rgba[to + 2] = palette[index * 4 + 2];
                    rgba[to + 3] = 255;
                } else if (bitCount === 24) {
                    const p = from + x * 3;
                    rgba[to] = pixels[p + 2];
                    rgba[to + 1] = pixels[p + 1];
                    rgba[to + 2] = pixels[p];
                    rgba[to + 3] = 255;
                } else {
                    const wide = bitCount === 32;
                    const p = from + x * (wide ? 4 : 2);
                    const pixel = wide ? (pixels[p] | pixels[p + 1] << 8 | pixels[p + 2] << 16 | pixels[p + 3] << 24) >>> 0 :
                        pixels[p] | pixels[p + 1] << 8;
                    for (let c = 0; c < 3; ++c) {
                        rgba[to + c] = Png.to8(sample16(pixel, fields[c], wide, c));
                    }
                    rgba[to + 3] = alpha ? Png.to8(sample16(pixel, fields[3], wide, 3)) : 255;
                }
            }
        }
        if (badIndex) {
            fail("a pixel names a colour its palette lacks");
        }
        if (read.ended) {
            fail("its run-length data runs past the end of the file");
        }
        const profiled = h.colorSpace === EMBEDDED_PROFILE && h.profile !== null && h.profile.offset > 0 &&
            h.profile.size > 0;
        if (profiled) {
            const at = HEADER_SIZE + h.profile.offset;
            if (at < read.pos || !read.seek(at) || length < at + h.profile.size) {
                fail("its colour profile lies outside the file");
            }
        }
        if (h.chromaticity && colorimetryRefused(h.chromaticity, profiled)) {
            fail("its colour space fields are out of range");
        }
        return { width: columns, height: rows, rgba };
    }

    return { header, goesAsIs, size, decode };
})();
