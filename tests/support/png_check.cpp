// png_check - checks a picture against the segments it should show.
//
//   png_check PICTURE.png GEOMETRY.txt
//   png_check --reduced PICTURE.png GEOMETRY.txt
//
// GEOMETRY.txt is what `korvitan-cli geometry` prints: "extent W H",
// "viewport w h", then "x1 y1 x2 y2" per segment; a line "ink N" (2 red, 3
// blue) draws the segments after it in that colour over those before, as
// overlays are drawn. The segments are drawn afresh with the rasterizer
// and every pixel of the picture must match: pure white where nothing is
// drawn, pure black, red or blue where a line is. Exits 0
// when they match, 1 with the first differing pixel when not, 2 on bad
// input. The end-to-end tests use it to tie a rendered or on-screen picture
// to the geometry printed by another route.
//
// With --reduced the geometry is of a picture four times as large each way,
// and each pixel of PICTURE must be the gray of its 4 x 4 block there:
// 255 * (white pixels) / 16, halves rounded up.
#include <cairo.h>
#include <cstdio>
#include <string>
#include <vector>

#include "raster/raster.h"

static int ReadGeometry(const char *path, RasterCanvas *canvas, std::vector<uint8_t> *pixels) {
    FILE *f = std::fopen(path, "r");
    if (!f) return 0;
    int w, h, ox = 0, oy = 0, vw, vh;
    // "origin X Y" follows the extent when a part of the view was drawn.
    int fields = std::fscanf(f, "extent %d %d origin %d %d", &w, &h, &ox, &oy);
    if ((fields != 2 && fields != 4) || std::fscanf(f, " viewport %d %d", &vw, &vh) != 2 || vw <= 0 ||
        vh <= 0) {
        std::fclose(f);
        return 0;
    }
    pixels->assign(size_t(vw) * size_t(vh), RASTER_WHITE);
    RasterInit(canvas, pixels->data(), vw, vh);
    RasterSetViewportExt(canvas, vw, vh);
    RasterSetWindowExt(canvas, w, h);
    RasterSetWindowOrg(canvas, ox, oy);
    int x1, y1, x2, y2, ink;
    for (;;) {
        if (std::fscanf(f, "%d %d %d %d", &x1, &y1, &x2, &y2) == 4) {
            RasterMoveTo(canvas, x1, y1);
            RasterLineTo(canvas, x2, y2);
        } else if (std::fscanf(f, " ink %d", &ink) == 1 && ink >= RASTER_BLACK && ink <= RASTER_BLUE) {
            RasterSetInk(canvas, uint8_t(ink));
        } else {
            break;
        }
    }
    int clean = std::feof(f);
    std::fclose(f);
    return clean;
}

// The colour PICTURE's pixel (x, y) should have: the canvas's, or the gray
// of its block when reduced.
static uint32_t Expected(const std::vector<uint8_t> &pixels, int width, int reduction, int x, int y) {
    static const uint32_t COLOURS[4] = {0xFFFFFFu, 0x000000u, 0xFF0000u, 0x0000FFu};
    if (reduction == 1) return COLOURS[pixels[size_t(y) * size_t(width) + size_t(x)] & 3];
    int white = 0;
    for (int j = 0; j < reduction; j++)
        for (int i = 0; i < reduction; i++)
            white += pixels[size_t(y * reduction + j) * size_t(width) + size_t(x * reduction + i)] == RASTER_WHITE;
    int cells = reduction * reduction;
    uint32_t gray = uint32_t((white * 255 + cells / 2) / cells);
    return gray << 16 | gray << 8 | gray;
}

int main(int argc, char **argv) {
    int reduction = argc == 4 && std::string(argv[1]) == "--reduced" ? 4 : 1;
    if (argc != 3 && reduction == 1) {
        std::fprintf(stderr, "usage: png_check [--reduced] PICTURE.png GEOMETRY.txt\n");
        return 2;
    }
    const char *picturePath = argv[argc - 2], *geometryPath = argv[argc - 1];
    RasterCanvas canvas;
    std::vector<uint8_t> expected;
    if (!ReadGeometry(geometryPath, &canvas, &expected)) {
        std::fprintf(stderr, "png_check: cannot read geometry %s\n", geometryPath);
        return 2;
    }
    cairo_surface_t *picture = cairo_image_surface_create_from_png(picturePath);
    if (cairo_surface_status(picture) != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "png_check: cannot read picture %s\n", picturePath);
        return 2;
    }
    int w = cairo_image_surface_get_width(picture), h = cairo_image_surface_get_height(picture);
    if (w * reduction != canvas.width || h * reduction != canvas.height) {
        std::fprintf(stderr, "png_check: picture is %dx%d, geometry %dx%d\n", w, h, canvas.width,
                     canvas.height);
        return 1;
    }
    cairo_surface_flush(picture);
    const uint8_t *data = cairo_image_surface_get_data(picture);
    int stride = cairo_image_surface_get_stride(picture);
    long drawn = 0;
    for (int y = 0; y < h; y++) {
        const uint32_t *row = reinterpret_cast<const uint32_t *>(data + size_t(y) * size_t(stride));
        for (int x = 0; x < w; x++) {
            uint32_t rgb = row[x] & 0xFFFFFFu;
            uint32_t want = Expected(expected, canvas.width, reduction, x, y);
            if (rgb != want) {
                std::fprintf(stderr, "png_check: pixel (%d, %d) is %06x, expected %06x\n", x, y,
                             unsigned(rgb), unsigned(want));
                return 1;
            }
            drawn += want != 0xFFFFFFu;
        }
    }
    cairo_surface_destroy(picture);
    std::printf("%ld drawn pixels match\n", drawn);
    return 0;
}
