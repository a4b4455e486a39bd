// STUB of the picture reading until the decode work lands (its picture.js
// replaces this file whole): the interface the page codes against, with the
// browser's canvas doing the decoding and the blend.
"use strict";

const Picture = (() => {
    const LIMIT = 8192 * 8192;
    const KINDS = { png: "png", jpg: "jpeg", jpeg: "jpeg", jpe: "jpeg", gif: "gif", webp: "webp", bmp: "bmp", dib: "bmp" };

    function kindOf(fileName) {
        const match = /\.([^.]*)$/.exec(fileName);
        return match && KINDS[match[1].toLowerCase()] || null;
    }

    function size(kind, bytes) {
        if (kind !== "bmp" || bytes.length < 26 || bytes[0] !== 0x42 || bytes[1] !== 0x4d) {
            return null;
        }
        const fields = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
        return { width: fields.getInt32(18, true), height: Math.abs(fields.getInt32(22, true)) };
    }

    async function prepare(fileName, bytes, { background = 0xffffff, transparentWhite = false } = {}) {
        const kind = kindOf(fileName);
        if (!kind) {
            throw new Error(fileName + ": tafelix takes .png, .jpg, .jpeg, .jpe, .gif, .webp, .bmp and .dib pictures");
        }
        const fields = bytes.length >= 34 ? new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength) : null;
        if (kind === "bmp" && (!fields || bytes[0] !== 0x42 || bytes[1] !== 0x4d ||
                (fields.getUint16(28, true) === 24 && fields.getUint32(30, true) === 0))) {
            return { bitmap: bytes, made: false, width: 0, height: 0 };
        }
        let picture;
        try {
            picture = await createImageBitmap(new Blob([bytes]), { colorSpaceConversion: "none", premultiplyAlpha: "none" });
        } catch (error) {
            throw new Error(fileName + " cannot be decoded: it is damaged, or not a picture");
        }
        const { width, height } = picture;
        const canvas = new OffscreenCanvas(width, height);
        const context = canvas.getContext("2d");
        context.fillStyle = transparentWhite ? "#ffffff" : "#" + background.toString(16).padStart(6, "0");
        context.fillRect(0, 0, width, height);
        context.drawImage(picture, 0, 0);
        const rgba = context.getImageData(0, 0, width, height).data;
        const stride = (width * 3 + 3) & ~3;
        const bmp = new Uint8Array(54 + stride * height);
        const header = new DataView(bmp.buffer);
        bmp.set([0x42, 0x4d]);
        header.setUint32(2, bmp.length, true);
        header.setUint32(10, 54, true);
        header.setUint32(14, 40, true);
        header.setInt32(18, width, true);
        header.setInt32(22, height, true);
        header.setUint16(26, 1, true);
        header.setUint16(28, 24, true);
        for (let y = 0; y < height; ++y) {
            let to = 54 + (height - 1 - y) * stride;
            for (let from = y * width * 4; from < (y + 1) * width * 4; from += 4) {
                bmp[to++] = rgba[from + 2];
                bmp[to++] = rgba[from + 1];
                bmp[to++] = rgba[from];
            }
        }
        return { bitmap: bmp, made: true, width, height };
    }

    return { LIMIT, kindOf, size, prepare };
})();
