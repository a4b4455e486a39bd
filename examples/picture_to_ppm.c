/* Writes the picture that tafelix turned into picture.h back out as a binary
 * PPM (P6) file:
 *
 *     picture_to_ppm WIDTH OUT.ppm
 *
 * The include file holds the pixel values and their count, not the width,
 * so the program is told the width; the height is count / width. */
#include <stdio.h>
#include <stdlib.h>

#include "picture.h"

int main(int argc, char **argv)
{
    const unsigned long count = (unsigned long)(sizeof picture / sizeof picture[0]);
    unsigned long width, rows, i;
    char *end;
    FILE *out;

    if (argc != 3) {
        fprintf(stderr, "usage: picture_to_ppm WIDTH OUT.ppm\n");
        return 2;
    }
    width = strtoul(argv[1], &end, 10);
    if (*argv[1] == '\0' || *end != '\0' || width == 0 || count % width != 0) {
        fprintf(stderr, "picture_to_ppm: the width must divide the pixel count %lu\n", count);
        return 2;
    }
    rows = count / width;

    out = fopen(argv[2], "wb");
    if (out == NULL) {
        perror(argv[2]);
        return 1;
    }
    fprintf(out, "P6\n%lu %lu\n255\n", width, rows);
    for (i = 0; i < count; ++i) {
        /* 0xRRGGBB; a white pixel marked -1 by -wt becomes white again. */
        const unsigned long rgb = (unsigned long)picture[i] & 0xFFFFFFul;
        putc((int)(rgb >> 16), out);
        putc((int)(rgb >> 8 & 0xFFu), out);
        putc((int)(rgb & 0xFFu), out);
    }
    if (fclose(out) != 0) {
        perror(argv[2]);
        return 1;
    }
    return 0;
}
