// png_check - checks a picture against the segments it should show.
//
//   png_check PICTURE.png GEOMETRY.txt
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
#include <cairo.h>
#include <cstdio>
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

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: png_check PICTURE.png GEOMETRY.txt\n");
        return 2;
    }
    RasterCanvas canvas;
    std::vector<uint8_t> expected;
    if (!ReadGeometry(argv[2], &canvas, &expected)) {
        std::fprintf(stderr, "png_check: cannot read geometry %s\n", argv[2]);
        return 2;
    }
    cairo_surface_t *picture = cairo_image_surface_create_from_png(argv[1]);
    if (cairo_surface_status(picture) != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "png_check: cannot read picture %s\n", argv[1]);
        return 2;
    }
    int w = cairo_image_surface_get_width(picture), h = cairo_image_surface_get_height(picture);
    if (w != canvas.width || h != canvas.height) {
        std::fprintf(stderr, "png_check: picture is %dx%d, geometry %dx%d\n", w, h, canvas.width,
                     canvas.height);
        return 1;
    }
    cairo_surface_flush(picture);
    const uint8_t *data = cairo_image_surface_get_data(picture);
    int stride = cairo_image_surface_get_stride(picture);
    static const uint32_t COLOURS[4] = {0xFFFFFFu, 0x000000u, 0xFF0000u, 0x0000FFu};
    long drawn = 0;
    for (int y = 0; y < h; y++) {
        const uint32_t *row = reinterpret_cast<const uint32_t *>(data + size_t(y) * size_t(stride));
        for (int x = 0; x < w; x++) {
            uint32_t rgb = row[x] & 0xFFFFFFu;
            uint8_t value = expected[size_t(y) * size_t(w) + size_t(x)];
            uint32_t want = COLOURS[value & 3];
            if (rgb != want) {
                std::fprintf(stderr, "png_check: pixel (%d, %d) is %06x, expected %06x\n", x, y,
                             unsigned(rgb), unsigned(want));
                return 1;
            }
            drawn += value != RASTER_WHITE;
        }
    }
    cairo_surface_destroy(picture);
    std::printf("%ld drawn pixels match\n", drawn);
    return 0;
}
