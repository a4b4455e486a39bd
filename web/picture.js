// Making a 24-bit uncompressed BMP from any picture the browser decodes, so
// that tafelix (which takes only those) can convert it.
"use strict";

// A BMP that goes to tafelix as it is: "BM", 24 bits a pixel, compression 0.
// (A file of another kind whose bytes 28 to 33 happen to read so is still
// decoded by the browser.)
function is24BitBmp(bytes) {
    if (bytes.length < 34 || bytes[0] !== 0x42 || bytes[1] !== 0x4d) {
        return false;
    }
    const fields = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    return fields.getUint16(28, true) === 24 && fields.getUint32(30, true) === 0;
}

// The picture's pixels, transparency composited over white, as a bottom-up
// 24-bit BMP; null when the browser cannot decode the file. No colour
// management and no premultiplication change the decoded pixels: the
// canvas composites the straight colours over white in one step, and
// opaque pixels are copied unchanged. Throws when the picture was decoded
// but cannot be made into a BMP (too large for a canvas, for one).
async function pictureToBmp(blob) {
    let picture;
    try {
        picture = await createImageBitmap(blob, { colorSpaceConversion: "none", premultiplyAlpha: "none" });
    } catch (error) {
        return null;
    }
    const { width, height } = picture;
    const stride = (width * 3 + 3) & ~3;
    const size = 54 + stride * height;
    if (size > 2147483647) {
        throw new Error("a BMP of " + width + " x " + height + " pixels would be larger than 2 GiB");
    }
    const canvas = document.createElement("canvas");
    canvas.width = width;
    canvas.height = height;
    const context = canvas.getContext("2d", { willReadFrequently: true });
    if (!context || canvas.width !== width || canvas.height !== height) {
        throw new Error("the browser has no canvas of " + width + " x " + height + " pixels");
    }
    context.fillStyle = "#fff";
    context.fillRect(0, 0, width, height);
    context.drawImage(picture, 0, 0);
    picture.close();
    const rgba = context.getImageData(0, 0, width, height).data;

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
    for (let y = 0; y < height; ++y) {
        let to = 54 + (height - 1 - y) * stride;
        const end = (y + 1) * width * 4;
        for (let from = y * width * 4; from < end; from += 4) {
            bmp[to++] = rgba[from + 2];
            bmp[to++] = rgba[from + 1];
            bmp[to++] = rgba[from];
        }
    }
    return bmp;
}
