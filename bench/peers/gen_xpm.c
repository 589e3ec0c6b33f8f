/* Writes an XPM picture of uniform noise over a palette of random colours, the same
 * picture for the same seed: gen_xpm WIDTH HEIGHT CHARS_PER_PIXEL COLOURS SEED OUT.xpm */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static uint64_t state;

static uint64_t Next(void) { /* splitmix64 */
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int main(int argc, char** argv) {
    if (argc != 7) {
        fprintf(stderr, "usage: %s WIDTH HEIGHT CHARS_PER_PIXEL COLOURS SEED OUT.xpm\n", argv[0]);
        return 2;
    }
    const long width = atol(argv[1]), height = atol(argv[2]), cpp = atol(argv[3]),
               colours = atol(argv[4]);
    state = strtoull(argv[5], NULL, 10);
    /* 64 code characters: no quote, no backslash. */
    static const char alphabet[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+.";
    long most = 1;
    for (long i = 0; i < cpp; ++i) most *= 64;
    if (width <= 0 || height <= 0 || cpp < 1 || cpp > 4 || colours < 1 || colours > most) {
        fprintf(stderr, "%s: %ld colours do not fit %ld characters per pixel\n", argv[0], colours,
                cpp);
        return 2;
    }
    FILE* out = fopen(argv[6], "wb");
    if (out == NULL) {
        perror(argv[6]);
        return 1;
    }
    char* codes = malloc((size_t)(colours * cpp));
    char* row = malloc((size_t)(width * cpp + 4));
    if (codes == NULL || row == NULL) return 1;
    for (long c = 0; c < colours; ++c) {
        long value = c; /* distinct codes: the colour's number in base 64 */
        for (long i = cpp - 1; i >= 0; --i, value /= 64) codes[c * cpp + i] = alphabet[value % 64];
    }
    fprintf(out, "/* XPM */\nstatic char *noise[] = {\n\"%ld %ld %ld %ld\",\n", width, height,
            colours, cpp);
    for (long c = 0; c < colours; ++c) {
        fprintf(out, "\"%.*s c #%06X\",\n", (int)cpp, codes + c * cpp,
                (unsigned)(Next() & 0xFFFFFF));
    }
    for (long y = 0; y < height; ++y) {
        char* at = row;
        *at++ = '"';
        for (long x = 0; x < width; ++x, at += cpp)
            memcpy(at, codes + (long)(Next() % (uint64_t)colours) * cpp, (size_t)cpp);
        memcpy(at, y + 1 < height ? "\",\n" : "\"\n", y + 1 < height ? 3 : 2);
        fwrite(row, 1, (size_t)(at - row) + (y + 1 < height ? 3 : 2), out);
    }
    fputs("};\n", out);
    free(codes);
    free(row);
    return fclose(out) == 0 ? 0 : 1;
}
