// raster.h - the aliased 1-pixel line rasterizer behind every picture.
//
// It draws what the Windows program draws with its default pen under the
// anisotropic mapping mode with the viewport origin at 0:
//   - each end point is mapped on its own to the nearest device pixel,
//     halves rounded up, with the scale held as a 32-bit float:
//     floor((x - ox) * float(vw/W) + 1/2), likewise for y, where (ox, oy) is
//     the window origin (0 unless set) and x - ox is formed in 64 bits;
//   - the line runs from the start pixel up to, but not including, the end
//     pixel, so a segment whose ends map to one pixel draws nothing;
//   - along the major axis every pixel is drawn once; where the exact line
//     passes halfway between two pixels of the minor axis, the lower
//     coordinate is taken;
//   - pixels outside the canvas are clipped before stepping, so a segment far
//     outside costs no more than its visible part, and the pixels that are
//     drawn are exactly those of the unclipped line.
// When a window extent or a viewport extent is 0 nothing is drawn (the
// mapping would divide by zero).
//
// Host-free: no cairo, no GTK, no Windows. The GTK window and korvitan-cli
// both paint through it, which is what makes their pixels identical.
//
// Use:
//   RasterCanvas canvas;
//   RasterInit(&canvas, pixels, width, height);   // pixels: width*height bytes
//   RasterClear(&canvas);                          // all white
//   RasterSetViewportExt(&canvas, width, height);
//   RasterSetWindowExt(&canvas, W, H);
//   RasterMoveTo(&canvas, x1, y1); RasterLineTo(&canvas, x2, y2); ...
#ifndef KORVITAN_RASTER_H
#define KORVITAN_RASTER_H

#include <cstdint>

enum { RASTER_WHITE = 0, RASTER_BLACK = 1 };

struct RasterCanvas {
    uint8_t *pixels;  // width * height bytes, row after row, top row first
    int32_t width;
    int32_t height;
    int32_t windowWidth;  // logical extent W, H
    int32_t windowHeight;
    int32_t windowX;  // logical window origin, (0, 0) unless set
    int32_t windowY;
    int32_t viewportWidth;  // device extent vw, vh
    int32_t viewportHeight;
    int32_t currentX;  // current logical point
    int32_t currentY;
};

// Points the canvas at a pixel buffer; extents start as 1 x 1 (identity) and
// the current point at (0, 0).
void RasterInit(RasterCanvas *canvas, uint8_t *pixels, int32_t width, int32_t height);
void RasterClear(RasterCanvas *canvas);
void RasterSetViewportExt(RasterCanvas *canvas, int32_t width, int32_t height);
void RasterSetWindowExt(RasterCanvas *canvas, int32_t width, int32_t height);
// The logical point that maps to the canvas' top-left corner.
void RasterSetWindowOrg(RasterCanvas *canvas, int32_t x, int32_t y);
void RasterMoveTo(RasterCanvas *canvas, int32_t x, int32_t y);
void RasterLineTo(RasterCanvas *canvas, int32_t x, int32_t y);

// Maps one logical coordinate, less the window origin, to its device pixel:
// floor(v * float(viewport/window) + 1/2). window must not be 0.
int64_t RasterMapCoordinate(int64_t v, int32_t viewport, int32_t window);

#endif
