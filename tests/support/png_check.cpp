// png_check - checks a picture against the segments it should show, or
// against another rendering of the same lines.
//
//   png_check PICTURE.png GEOMETRY.txt
//   png_check --reduced PICTURE.png GEOMETRY.txt
//   png_check --near PICTURE.png RENDERED.png
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
//
// --near compares the aliased PICTURE (korvitan-cli's PNG: black lines on
// white) with RENDERED, the same lines drawn by a renderer that smooths
// them (an SVG or PDF reader), which shades each pixel by how much of it a
// line one pixel wide covers. The tolerance: every black pixel of PICTURE
// has a pixel of RENDERED at most one pixel away (in each direction) that
// a line covers by a quarter or more (a line passing between two rows
// covers each by half), and every pixel of RENDERED covered by more than
// half has a black pixel of PICTURE at most one pixel away. So no line is
// missing, none is extra and none has moved by more than the smoothing of
// the two. A pixel on the picture's edge may be shaded by lines just
// outside it, which the aliased picture does not draw, so for it a line
// outside counts as near. Exits 0 when that holds, 1 with the number of
// pixels that break it and the first of them.
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

// Whether each pixel is darker than `below` (0 to 255, gray averaged over
// the three colours).
static int ReadMask(const char *path, int below, int *width, int *height, std::vector<uint8_t> *mask) {
    cairo_surface_t *picture = cairo_image_surface_create_from_png(path);
    if (cairo_surface_status(picture) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(picture);
        return 0;
    }
    // Onto white, so that a transparent background reads as white.
    int w = cairo_image_surface_get_width(picture), h = cairo_image_surface_get_height(picture);
    cairo_surface_t *flat = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    cairo_t *cr = cairo_create(flat);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_surface(cr, picture, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(picture);
    cairo_surface_flush(flat);
    const uint8_t *data = cairo_image_surface_get_data(flat);
    int stride = cairo_image_surface_get_stride(flat);
    mask->assign(size_t(w) * size_t(h), 0);
    for (int y = 0; y < h; y++) {
        const uint32_t *row = reinterpret_cast<const uint32_t *>(data + size_t(y) * size_t(stride));
        for (int x = 0; x < w; x++) {
            uint32_t rgb = row[x];
            int gray = int(((rgb >> 16) & 255) + ((rgb >> 8) & 255) + (rgb & 255)) / 3;
            (*mask)[size_t(y) * size_t(w) + size_t(x)] = gray < below;
        }
    }
    cairo_surface_destroy(flat);
    *width = w;
    *height = h;
    return 1;
}

// The set pixels of `a` with no set pixel of `b` within one pixel; with
// `edges`, pixels outside the picture count as set.
static long Unmatched(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b, int w, int h, bool edges,
                      int *firstX, int *firstY) {
    long count = 0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            if (!a[size_t(y) * size_t(w) + size_t(x)]) continue;
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; dy++)
                for (int dx = -1; dx <= 1 && !near; dx++) {
                    int u = x + dx, v = y + dy;
                    bool inside = u >= 0 && u < w && v >= 0 && v < h;
                    near = inside ? b[size_t(v) * size_t(w) + size_t(u)] != 0 : edges;
                }
            if (!near && count++ == 0) *firstX = x, *firstY = y;
        }
    return count;
}

static int CompareNear(const char *picturePath, const char *renderedPath) {
    int w, h, rw, rh;
    std::vector<uint8_t> black, quarter, half;
    if (!ReadMask(picturePath, 1, &w, &h, &black) || !ReadMask(renderedPath, 192, &rw, &rh, &quarter) ||
        !ReadMask(renderedPath, 128, &rw, &rh, &half)) {
        std::fprintf(stderr, "png_check: cannot read %s or %s\n", picturePath, renderedPath);
        return 2;
    }
    if (w != rw || h != rh) {
        std::fprintf(stderr, "png_check: %s is %dx%d, %s %dx%d\n", picturePath, w, h, renderedPath, rw, rh);
        return 1;
    }
    int x = 0, y = 0;
    long missing = Unmatched(black, quarter, w, h, false, &x, &y);
    if (missing) {
        std::fprintf(stderr, "png_check: %ld line pixels with nothing drawn near them, the first (%d, %d)\n",
                     missing, x, y);
        return 1;
    }
    long extra = Unmatched(half, black, w, h, true, &x, &y);
    if (extra) {
        std::fprintf(stderr, "png_check: %ld pixels drawn away from every line, the first (%d, %d)\n", extra, x, y);
        return 1;
    }
    long lit = 0;
    for (uint8_t v : black) lit += v;
    std::printf("%ld line pixels, all within one pixel of the rendering\n", lit);
    return 0;
}

int main(int argc, char **argv) {
    if (argc == 4 && std::string(argv[1]) == "--near") return CompareNear(argv[2], argv[3]);
    int reduction = argc == 4 && std::string(argv[1]) == "--reduced" ? 4 : 1;
    if (argc != 3 && reduction == 1) {
        std::fprintf(stderr, "usage: png_check [--reduced] PICTURE.png GEOMETRY.txt | --near PICTURE.png RENDERED.png\n");
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
