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

    // A JPEG's size from its first frame header (SOF0 to SOF15, not DHT,
    // JPG or DAC), found by walking the segments.
    function jpegSize(bytes) {
        let at = 2;
        while (at + 4 <= bytes.length) {
            if (bytes[at] !== 0xff) {
                return null;
            }
            const marker = bytes[at + 1];
            if (marker === 0xff) {
                ++at;   // fill byte
                continue;
            }
            if (marker === 0x01 || (marker >= 0xd0 && marker <= 0xd7)) {
                at += 2;
                continue;
            }
            if (marker === 0xd9 || marker === 0xda) {
                return null;
            }
            if (marker >= 0xc0 && marker <= 0xcf && marker !== 0xc4 && marker !== 0xc8 && marker !== 0xcc) {
                return at + 9 <= bytes.length ?
                    { width: bytes[at + 7] << 8 | bytes[at + 8], height: bytes[at + 5] << 8 | bytes[at + 6] } : null;
            }
            at += 2 + (bytes[at + 2] << 8 | bytes[at + 3]);
        }
        return null;
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
            return jpegSize(bytes);
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
                refuse(fileName + " is " + width + " x " + height + " pixels, more than tafelix takes (8192 x 8192 = 67108864)");
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
        } else if (header) {
            picture = await browserPixels(kind, bytes);
        }
        if (!picture) {
            refuse(fileName + " cannot be decoded: it is a damaged " + name + " picture, or one this browser does not read");
        }
        const { width, height, rgba } = picture;
        return { bitmap: madeBmp(width, height, rgba, background, transparentWhite), made: true, width, height };
    }

    return { LIMIT, SIDE_LIMIT, kindOf, size, prepare };
})();
