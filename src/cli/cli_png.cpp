// cli_png.cpp - see cli_png.h.
//
// libpng reports a failure by jumping back to the setjmp in WriteRows, so
// that function holds nothing a jump would skip the release of: the row
// buffer belongs to its caller, and only libpng's own structures are made
// between the setjmp and the end.
#include "cli/cli_png.h"

#include <cstdint>
#include <cstring>
#include <png.h>
#include <zlib.h>
#include <vector>

// libpng hands the encoded bytes here; a failed write ends the picture.
static void WriteToOutput(png_structp png, png_bytep data, png_size_t length) {
    OutputFile *out = static_cast<OutputFile *>(png_get_io_ptr(png));
    if (!OutputWrite(out, data, length)) png_error(png, "write failed");
}

static void FlushNothing(png_structp) {}

// The caller prints its own message ("cannot write OUT: ..."), so libpng's
// are not shown: an error only jumps back.
static void OnPngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
static void OnPngWarning(png_structp, png_const_charp) {}

// Eight canvas bytes (each 0 white or 1 black) to one byte of 1-bit gray,
// leftmost pixel in the top bit, white 1. The multiply gathers bit 0 of
// byte i into bit 63 - i; no two partial products overlap, so no carries.
static uint8_t PackEight(const uint8_t *pixels) {
    uint64_t eight;
    std::memcpy(&eight, pixels, 8);
    return uint8_t(~((eight * 0x8040201008040201ull) >> 56));
}

static void PackRow(const uint8_t *pixels, int32_t width, uint8_t *row) {
    int32_t x = 0;
    for (; x + 8 <= width; x += 8) *row++ = PackEight(pixels + x);
    if (x == width) return;
    uint8_t tail[8] = {0};  // pixels past the end pack as white, then are cut off
    std::memcpy(tail, pixels + x, size_t(width - x));
    *row = PackEight(tail);
}

// Four canvas bytes (palette indices 0 to 3) to one byte of 2-bit indices,
// leftmost pixel in the top bits.
static void PackPaletteRow(const uint8_t *pixels, int32_t width, uint8_t *row) {
    for (int32_t x = 0; x < width; x += 4) {
        uint8_t byte = 0;
        for (int32_t k = 0; k < 4; k++) byte = uint8_t(byte << 2 | (x + k < width ? pixels[x + k] & 3 : 0));
        *row++ = byte;
    }
}

// The 16 pixels of one 4 x 4 block of a white and black canvas as a gray
// level: 255 * white / 16, halves rounded up. A canvas pixel is then 0
// (white) or 1 (black), so four of them side by side are one 32-bit word
// whose bytes are 0 or 1; the sum of the four words of a block's rows has
// at most 4 in each byte, and a multiply gathers the four bytes' sum into
// the top one.
static uint8_t ReduceBlock(const uint8_t *top, size_t stride) {
    uint32_t sum = 0;
    for (int row = 0; row < PNG_REDUCTION; row++) {
        uint32_t four;
        std::memcpy(&four, top + size_t(row) * stride, 4);
        sum += four;
    }
    uint32_t black = (sum * 0x01010101u) >> 24;
    uint32_t white = 16 - black;
    return uint8_t((white * 255 + 8) / 16);
}

static_assert(PNG_REDUCTION == 4, "ReduceBlock reads a block's rows four pixels at a time");

static void ReduceRow(const RasterCanvas *canvas, int32_t y, uint8_t *row) {
    size_t stride = size_t(canvas->width);
    const uint8_t *top = canvas->pixels + size_t(y) * PNG_REDUCTION * stride;
    int32_t width = canvas->width / PNG_REDUCTION;
    for (int32_t x = 0; x < width; x++) row[x] = ReduceBlock(top + size_t(x) * PNG_REDUCTION, stride);
}

// How the canvas becomes the picture's rows.
enum PngRows { ROWS_GRAY_1BIT, ROWS_PALETTE, ROWS_REDUCED };

static int WriteRows(const RasterCanvas *canvas, OutputFile *out, uint8_t *row, PngRows rows) {
    bool palette = rows == ROWS_PALETTE, reduced = rows == ROWS_REDUCED;
    int32_t width = reduced ? canvas->width / PNG_REDUCTION : canvas->width;
    int32_t height = reduced ? canvas->height / PNG_REDUCTION : canvas->height;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (!png) return 0;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return 0;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return 0;
    }
    png_set_write_fn(png, out, WriteToOutput, FlushNothing);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), reduced ? 8 : palette ? 2 : 1,
                 palette ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Index by index the canvas's values: white, black, red, blue.
    static_assert(RASTER_WHITE == 0 && RASTER_BLACK == 1 && RASTER_RED == 2 && RASTER_BLUE == 3,
                  "the canvas's values are the palette's indices");
    png_color colours[4] = {{255, 255, 255}, {0, 0, 0}, {255, 0, 0}, {0, 0, 255}};
    if (palette) png_set_PLTE(png, info, colours, 4);
    // The fastest deflate: on line drawings it costs a sixth more bytes
    // than the default level and takes a fraction of the time.
    png_set_compression_level(png, Z_BEST_SPEED);
    png_write_info(png, info);
    for (int32_t y = 0; y < height; y++) {
        const uint8_t *pixels = canvas->pixels + size_t(y) * size_t(canvas->width);
        if (reduced) ReduceRow(canvas, y, row);
        else if (palette) PackPaletteRow(pixels, canvas->width, row);
        else PackRow(pixels, canvas->width, row);
        png_write_row(png, row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return 1;
}

int WriteCanvasPng(const RasterCanvas *canvas, OutputFile *out) {
    if (canvas->width <= 0 || canvas->height <= 0) return 0;
    std::vector<uint8_t> row((size_t(canvas->width) + 7) / 8);
    return WriteRows(canvas, out, row.data(), ROWS_GRAY_1BIT);
}

int WritePaletteCanvasPng(const RasterCanvas *canvas, OutputFile *out) {
    if (canvas->width <= 0 || canvas->height <= 0) return 0;
    std::vector<uint8_t> row((size_t(canvas->width) + 3) / 4);
    return WriteRows(canvas, out, row.data(), ROWS_PALETTE);
}

int WriteReducedCanvasPng(const RasterCanvas *canvas, OutputFile *out) {
    if (canvas->width < PNG_REDUCTION || canvas->height < PNG_REDUCTION || canvas->width % PNG_REDUCTION ||
        canvas->height % PNG_REDUCTION)
        return 0;
    std::vector<uint8_t> row(size_t(canvas->width / PNG_REDUCTION));
    return WriteRows(canvas, out, row.data(), ROWS_REDUCED);
}
