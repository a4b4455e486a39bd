// A picture made into what tafelix converts: an uncompressed 24-bit BMP as
// it is, any other picture decoded to straight 8-bit RGBA and blended over
// the background into a new 24-bit BMP, giving the values the builds give.
// PNG and BMP are read by our own code (png.js, bmp.js), because no
// browser's canvas gives straight or 16-bit values; JPEG, GIF and WebP are
// left to the browser (JPEG and GIF have no partial alpha, so a canvas
// gives their values exactly).
//
// Works in a window and in a dedicated worker; touches nothing at load time.
// Uses Png (png.js) and Bmp (bmp.js).
"use strict";

const Picture = (() => {
    // The most pixels a picture may have (read from its header before it is
    // decoded), and the longest side the builds' ImageMagick takes.
    const LIMIT = 8192 * 8192;
    const OVER_LIMIT = " pixels, more than tafelix takes (" + Math.sqrt(LIMIT) + " x " + Math.sqrt(LIMIT) + " = " +
        LIMIT + ")";
    const SIDE_LIMIT = 16000;

    const KINDS = { png: "png", jpg: "jpeg", jpeg: "jpeg", jpe: "jpeg", gif: "gif", webp: "webp", bmp: "bmp", dib: "bmp" };
    const NAMES = { png: "PNG", jpeg: "JPEG", gif: "GIF", webp: "WebP", bmp: "BMP" };
    const TYPES = { jpeg: "image/jpeg", gif: "image/gif", webp: "image/webp" };

    function kindOf(fileName) {
        const dot = fileName.lastIndexOf(".");
        return dot < 0 ? null : KINDS[fileName.slice(dot + 1).toLowerCase()] || null;
    }

    function ascii(bytes, from, to) {
        return String.fromCharCode(...bytes.subarray(from, to));
    }

    function hasSignature(kind, bytes) {
        switch (kind) {
        case "png":
            return Png.hasSignature(bytes);
        case "jpeg":
            return bytes[0] === 0xff && bytes[1] === 0xd8 && bytes[2] === 0xff;
        case "gif":
            return /^GIF8[79]a$/.test(ascii(bytes, 0, 6));
        case "webp":
            return ascii(bytes, 0, 4) === "RIFF" && ascii(bytes, 8, 12) === "WEBP";
        default:
            return true;
        }
    }

    // A JPEG walked from SOI through its segments to EOI, as the builds'
    // JPEG library reads it, skipping each scan's entropy-coded data (where
    // FF 00 is a stuffed FF and FF D0-D7 a restart marker): the size from
    // the first frame header (SOF0 to SOF15, not DHT, JPG or DAC), the
    // places of the APP2 "ICC_PROFILE" segments, and what is damaged (the
    // builds refuse a file cut short or without EOI; browsers fill it in).
    function jpegWalk(bytes) {
        const walk = { size: null, profiles: [], damage: null };
        const length = (at) => bytes[at + 2] << 8 | bytes[at + 3];
        let at = 2;
        for (;;) {
            while (bytes[at] === 0xff && bytes[at + 1] === 0xff) {
                ++at;   // fill byte
            }
            if (at + 2 > bytes.length) {
                walk.damage = "it ends before its end-of-image marker";
                return walk;
            }
            const marker = bytes[at + 1];
            if (bytes[at] !== 0xff || marker === 0) {
                walk.damage = "it has stray bytes where a marker should be";
                return walk;
            }
            if (marker === 0xd9) {
                return walk;
            }
            if (marker === 0x01 || (marker >= 0xd0 && marker <= 0xd7)) {
                at += 2;
                continue;
            }
            if (at + 4 > bytes.length || at + 2 + length(at) > bytes.length) {
                walk.damage = "it ends before its end-of-image marker";
                return walk;
            }
            if (length(at) < 2) {
                walk.damage = "a segment's length is less than its own two bytes";
                return walk;
            }
            if (!walk.size && marker >= 0xc0 && marker <= 0xcf && marker !== 0xc4 && marker !== 0xc8 && marker !== 0xcc &&
                    length(at) >= 7) {
                walk.size = { width: bytes[at + 7] << 8 | bytes[at + 8], height: bytes[at + 5] << 8 | bytes[at + 6] };
            }
            if (marker === 0xe2 && ascii(bytes, at + 4, at + 16) === "ICC_PROFILE\0") {
                walk.profiles.push([at, at + 2 + length(at)]);
            }
            at += 2 + length(at);
            if (marker === 0xda) {
                // entropy-coded data up to the next marker
                for (at = bytes.indexOf(0xff, at); at >= 0; at = bytes.indexOf(0xff, at + 1)) {
                    const next = bytes[at + 1];
                    if (next !== 0 && next !== 0xff && !(next >= 0xd0 && next <= 0xd7)) {
                        break;
                    }
                }
                at = at < 0 ? bytes.length : at;
            }
        }
    }

    // A WebP's size from its first chunk: VP8X (the canvas), VP8L or VP8.
    function webpSize(bytes) {
        const chunk = ascii(bytes, 12, 16);
        const le = (at, count) => bytes.subarray(at, at + count).reduceRight((v, b) => v * 256 + b, 0);
        if (chunk === "VP8X" && bytes.length >= 30) {
            return { width: le(24, 3) + 1, height: le(27, 3) + 1 };
        }
        if (chunk === "VP8L" && bytes.length >= 25 && bytes[20] === 0x2f) {
            const bits = le(21, 4);
            return { width: (bits & 0x3fff) + 1, height: (bits >>> 14 & 0x3fff) + 1 };
        }
        if (chunk === "VP8 " && bytes.length >= 30 && bytes[23] === 0x9d && bytes[24] === 0x01 && bytes[25] === 0x2a) {
            return { width: le(26, 2) & 0x3fff, height: le(28, 2) & 0x3fff };
        }
        return null;
    }

    // A GIF read as the builds' ImageMagick reads `gif:-[0]`: the header,
    // the logical screen and its palette, then blocks up to and including
    // the first image (its descriptor, palette, LZW code size and data
    // sub-blocks through the zero block); later frames are not read, and a
    // byte that starts no block is skipped. The first image's place, size
    // and where its bytes begin and its data ends, or what is damaged.
    function gifWalk(bytes) {
        const u16 = (at) => bytes[at] | bytes[at + 1] << 8;
        const palette = (flags) => flags & 0x80 ? 3 << ((flags & 7) + 1) : 0;
        let at = 13 + palette(bytes[10]);
        const subBlocks = () => {
            while (at < bytes.length && bytes[at] !== 0) {
                at += 1 + bytes[at];
            }
            return ++at <= bytes.length;
        };
        while (at < bytes.length) {
            const block = bytes[at++];
            if (block === 0x21) {
                ++at;   // the label
                if (!subBlocks()) {
                    break;
                }
            } else if (block === 0x2c) {
                const frame = { start: at - 1, left: u16(at), top: u16(at + 2), width: u16(at + 4), height: u16(at + 6) };
                at += 9 + palette(bytes[at + 8]) + 1;
                const data = at;
                while (at < bytes.length && bytes[at] !== 0) {
                    at += 1 + bytes[at];
                }
                // ImageMagick takes data whose last sub-block ends the file
                if (at > bytes.length || at === data) {
                    break;
                }
                return { frame: Object.assign(frame, { end: at }), damage: null };
            } else if (block === 0x3b) {
                return { frame: null, damage: "it ends before any image" };
            }
        }
        return { frame: null, damage: "it is cut short before its first image ends" };
    }

    // The first image alone, as a GIF whose screen is the image at 0, 0:
    // every engine gives its own pixels then (Chromium grows its bitmap to
    // hold an image that goes past the screen).
    function gifFrameAlone(bytes, frame) {
        const alone = new Uint8Array(frame.end + 2);
        alone.set(bytes.subarray(0, frame.end));
        alone.set([frame.width & 255, frame.width >> 8, frame.height & 255, frame.height >> 8], 6);
        alone.fill(0, frame.start + 1, frame.start + 5);
        alone.set([0, 0x3b], frame.end);    // the zero block, the trailer
        return alone;
    }

    // The first image's pixels on the logical screen at its place, clipped
    // to it, all else fully transparent, as the builds' ImageMagick
    // flattens it.
    function onScreen(screen, frame, rgba) {
        const out = new Uint8Array(screen.width * screen.height * 4);
        const columns = Math.min(frame.width, screen.width - frame.left);
        for (let y = 0; columns > 0 && y < frame.height && frame.top + y < screen.height; ++y) {
            out.set(rgba.subarray(y * frame.width * 4, (y * frame.width + columns) * 4),
                ((frame.top + y) * screen.width + frame.left) * 4);
        }
        return out;
    }

    // What is damaged in a WebP, as the builds' WebP library finds it: a
    // RIFF size past the end of the file, or a chunk up to the first image
    // chunk past the RIFF's end; null when nothing is.
    function webpDamage(bytes) {
        const u32 = (at) => (bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | bytes[at + 3] << 24) >>> 0;
        const end = 8 + u32(4);
        if (bytes.length < 12 || end > bytes.length) {
            return "it is shorter than its RIFF header says";
        }
        for (let at = 12; at + 8 <= end; at += 8 + u32(at + 4) + (u32(at + 4) & 1)) {
            const chunk = ascii(bytes, at, at + 4);
            if (at + 8 + u32(at + 4) > end) {
                return "its " + chunk.trim() + " chunk is cut short";
            }
            if (chunk === "VP8 " || chunk === "VP8L" || chunk === "ANMF") {
                break;
            }
        }
        return null;
    }

    // The size the picture comes out at, read from its header (a GIF's
    // logical screen), or null when the header gives none.
    function size(kind, bytes) {
        if (!hasSignature(kind, bytes)) {
            return null;
        }
        switch (kind) {
        case "png":
            return Png.size(bytes);
        case "bmp":
            return Bmp.size(bytes);
        case "gif":
            return bytes.length >= 10 ? { width: bytes[6] | bytes[7] << 8, height: bytes[8] | bytes[9] << 8 } : null;
        case "jpeg":
            return jpegWalk(bytes).size;
        case "webp":
            return webpSize(bytes);
        default:
            return null;
        }
    }

    function newCanvas(width, height) {
        return typeof OffscreenCanvas === "function" ? new OffscreenCanvas(width, height) :
            Object.assign(document.createElement("canvas"), { width, height });
    }

    // A WebP's straight values read back through WebGL, where a 2D canvas
    // would premultiply them with its own rounding; null where WebGL is not
    // there, the picture is too large for a texture or the engine changes
    // the values on the way (as a probe of known values shows).
    function glPixels(image) {
        const { width, height } = image;
        const gl = newCanvas(width, height).getContext("webgl", { premultipliedAlpha: false, antialias: false });
        if (!gl || Math.max(width, height) > gl.getParameter(gl.MAX_TEXTURE_SIZE)) {
            return null;
        }
        gl.bindTexture(gl.TEXTURE_2D, gl.createTexture());
        gl.pixelStorei(gl.UNPACK_PREMULTIPLY_ALPHA_WEBGL, false);
        gl.pixelStorei(gl.UNPACK_COLORSPACE_CONVERSION_WEBGL, gl.NONE);
        gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA, gl.RGBA, gl.UNSIGNED_BYTE, image);
        gl.bindFramebuffer(gl.FRAMEBUFFER, gl.createFramebuffer());
        gl.framebufferTexture2D(gl.FRAMEBUFFER, gl.COLOR_ATTACHMENT0, gl.TEXTURE_2D, gl.getParameter(gl.TEXTURE_BINDING_2D), 0);
        const rgba = new Uint8Array(width * height * 4);
        gl.readPixels(0, 0, width, height, gl.RGBA, gl.UNSIGNED_BYTE, rgba);
        const lost = gl.getError() !== gl.NO_ERROR;
        gl.getExtension("WEBGL_lose_context")?.loseContext();
        return lost ? null : rgba;
    }

    let glProbe = null;
    function glKeepsValues() {
        const probe = new Uint8ClampedArray([200, 100, 50, 1, 17, 34, 51, 128, 255, 255, 255, 3, 1, 2, 3, 254]);
        glProbe = glProbe || createImageBitmap(new ImageData(probe, 2, 2), { premultiplyAlpha: "none", colorSpaceConversion: "none" })
            .then((image) => {
                const back = glPixels(image);
                return back !== null && back.every((v, i) => v === probe[i]);
            }).catch(() => false);
        return glProbe;
    }

    // JPEG, GIF and WebP through the browser's decoder, drawn on a canvas
    // with nothing under them (a WebP through WebGL where it can); null when
    // the browser cannot decode them.
    async function browserPixels(kind, bytes) {
        let image;
        try {
            image = await createImageBitmap(new Blob([bytes], { type: TYPES[kind] }),
                { imageOrientation: "from-image", colorSpaceConversion: "none", premultiplyAlpha: "none" });
        } catch (error) {
            return null;
        }
        const { width, height } = image;
        const straight = kind === "webp" && await glKeepsValues() ? glPixels(image) : null;
        if (straight) {
            image.close();
            return { width, height, rgba: straight };
        }
        const canvas = newCanvas(width, height);
        const context = canvas.getContext("2d", { willReadFrequently: true });
        if (!context || canvas.width !== width || canvas.height !== height) {
            image.close();
            throw new Error("the browser has no canvas of " + width + " x " + height + " pixels");
        }
        context.drawImage(image, 0, 0);
        image.close();
        return { width, height, rgba: context.getImageData(0, 0, width, height).data };
    }

    // JPEG, GIF and WebP as the browser decodes them once our own walk has
    // found them whole (the builds refuse a damaged one; some browsers fill
    // it in): a JPEG without its ICC profiles (the builds ignore them, and
    // WebKitGTK applies them even with colorSpaceConversion "none"); a GIF's
    // first image alone, put on the screen here. Null when the header gave
    // no size, or the browser cannot decode the picture.
    async function fromBrowser(fileName, kind, bytes, screen) {
        const damaged = (damage) => damage && refuse(fileName + " is a damaged " + NAMES[kind] + " picture: " + damage);
        if (kind === "webp") {
            damaged(webpDamage(bytes));
            return screen && browserPixels(kind, bytes);
        }
        if (kind === "jpeg") {
            const { damage, profiles } = jpegWalk(bytes);
            damaged(damage);
            if (!profiles.length) {
                return screen && browserPixels(kind, bytes);
            }
            // one array: Firefox decodes no Blob made of several
            const kept = new Uint8Array(bytes.length - profiles.reduce((sum, [start, end]) => sum + end - start, 0));
            let to = 0;
            let from = 0;
            for (const [start, end] of profiles.concat([[bytes.length, bytes.length]])) {
                kept.set(bytes.subarray(from, start), to);
                to += start - from;
                from = end;
            }
            return screen && browserPixels(kind, kept);
        }
        const { damage, frame } = gifWalk(bytes);
        damaged(damage);
        if (frame.width * frame.height > LIMIT) {
            refuse(fileName + "'s first image is " + frame.width + " x " + frame.height + OVER_LIMIT);
        }
        const alone = screen && await browserPixels(kind, gifFrameAlone(bytes, frame));
        return alone && { ...screen, rgba: onScreen(screen, { ...frame, width: alone.width, height: alone.height }, alone.rgba) };
    }

    // Straight RGBA blended over the background into a bottom-up 24-bit BMP:
    // each channel round((c * a + B * (255 - a)) / 255); a fully transparent
    // pixel is the background, or pure white with transparentWhite.
    function madeBmp(width, height, rgba, background, transparentWhite) {
        const stride = (width * 3 + 3) & ~3;
        const size = 54 + stride * height;
        const bmp = new Uint8Array(size);
        const header = new DataView(bmp.buffer);
        bmp[0] = 0x42;                              // "BM"
        bmp[1] = 0x4d;
        header.setUint32(2, size, true);
        header.setUint32(10, 54, true);             // the pixels' offset
        header.setUint32(14, 40, true);             // BITMAPINFOHEADER
        header.setInt32(18, width, true);
        header.setInt32(22, height, true);          // positive: bottom row first
        header.setUint16(26, 1, true);              // planes
        header.setUint16(28, 24, true);             // bits a pixel
        header.setUint32(34, stride * height, true);
        header.setInt32(38, 2835, true);            // 72 dpi
        header.setInt32(42, 2835, true);
        const under = [background & 0xff, background >> 8 & 0xff, background >> 16 & 0xff];   // B, G, R
        for (let y = 0; y < height; ++y) {
            let to = 54 + (height - 1 - y) * stride;
            const end = (y + 1) * width * 4;
            for (let from = y * width * 4; from < end; from += 4, to += 3) {
                const a = rgba[from + 3];
                if (a === 255) {
                    bmp[to] = rgba[from + 2];
                    bmp[to + 1] = rgba[from + 1];
                    bmp[to + 2] = rgba[from];
                } else if (a === 0 && transparentWhite) {
                    bmp[to] = bmp[to + 1] = bmp[to + 2] = 255;
                } else {
                    for (let c = 0; c < 3; ++c) {
                        // x / 255 rounded down, for x up to 255 * 255 + 127, without dividing
                        const x = rgba[from + 2 - c] * a + under[c] * (255 - a) + 127;
                        bmp[to + c] = (x + 1 + (x >> 8)) >> 8;
                    }
                }
            }
        }
        return bmp;
    }

    function refuse(message) {
        throw new Error(message);
    }

    async function prepare(fileName, bytes, { background = 0xffffff, transparentWhite = false } = {}) {
        const kind = kindOf(fileName);
        if (!kind) {
            refuse(fileName + ": tafelix takes .png, .jpg, .jpeg, .jpe, .gif, .webp, .bmp and .dib pictures");
        }
        if (kind === "bmp" && Bmp.goesAsIs(bytes)) {
            const { width, height } = Bmp.size(bytes) || { width: 0, height: 0 };
            return { bitmap: bytes, made: false, width, height };
        }
        const name = NAMES[kind];
        if (!hasSignature(kind, bytes)) {
            refuse(fileName + " is not a " + name + " picture");
        }
        const header = size(kind, bytes);
        if (header) {
            const { width, height } = header;
            if (width * height > LIMIT) {
                refuse(fileName + " is " + width + " x " + height + OVER_LIMIT);
            }
            if (width > SIDE_LIMIT || height > SIDE_LIMIT) {
                refuse(fileName + " is " + width + " x " + height + " pixels, more than tafelix takes (at most " +
                    SIDE_LIMIT + " pixels a side)");
            }
        }
        let picture = null;
        if (kind === "png" || kind === "bmp") {
            try {
                picture = kind === "png" ? await Png.decode(bytes) : Bmp.decode(bytes);
            } catch (error) {
                refuse(fileName + (kind === "png" ? " is a damaged PNG picture: " :
                    " is a BMP picture tafelix cannot read: ") + error.message);
            }
        } else {
            picture = await fromBrowser(fileName, kind, bytes, header);
        }
        if (!picture) {
            refuse(fileName + " cannot be decoded: it is a damaged " + name + " picture, or one this browser does not read");
        }
        const { width, height, rgba } = picture;
        return { bitmap: madeBmp(width, height, rgba, background, transparentWhite), made: true, width, height };
    }

    return { LIMIT, SIDE_LIMIT, BY_BROWSER: Object.keys(TYPES), kindOf, size, prepare };
})();
