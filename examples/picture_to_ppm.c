/* Writes the picture that tafelix turned into picture.h back out as a binary
 * PPM (P6) file:
 *
 *     picture_to_ppm OUT.ppm
 *
 * The width and the height come from picture_size.h, which the build writes
 * beside picture.h (tafelix_add_bitmap(... SIZE)); its declaration
 * `extern int picture[PICTURE_WIDTH * PICTURE_HEIGHT]` makes the compiler
 * refuse a size that does not match the pixel count. */
#include <stdio.h>

#include "picture.h"
#include "picture_size.h"

int main(int argc, char **argv)
{
    const unsigned long count = (unsigned long)PICTURE_WIDTH * PICTURE_HEIGHT;
    unsigned long i;
    FILE *out;

    if (argc != 2) {
        fprintf(stderr, "usage: picture_to_ppm OUT.ppm\n");
        return 2;
    }
    out = fopen(argv[1], "wb");
    if (out == NULL) {
        perror(argv[1]);
        return 1;
    }
    fprintf(out, "P6\n%d %d\n255\n", PICTURE_WIDTH, PICTURE_HEIGHT);
    for (i = 0; i < count; ++i) {
        /* 0xRRGGBB; a white pixel marked -1 by -wt becomes white again. */
        const unsigned long rgb = (unsigned long)picture[i] & 0xFFFFFFul;
        putc((int)(rgb >> 16), out);
        putc((int)(rgb >> 8 & 0xFFu), out);
        putc((int)(rgb & 0xFFu), out);
    }
    if (fclose(out) != 0) {
        perror(argv[1]);
        return 1;
    }
    return 0;
}
