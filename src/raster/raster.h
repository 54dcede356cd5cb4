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
// A batch of segments can be drawn at once; a large one is split between
// two threads, each drawing its share of the segments into the same
// canvas. The pixels are the same whatever the split: every pixel a batch
// draws is set to the one ink of that batch and nothing else is written
// while it is drawn, so
// the order of the writes cannot matter. The writes are relaxed atomic
// byte stores, so two threads that light the same pixel are not a data
// race (on x86-64 such a store is a plain byte store).
//
// Use:
//   RasterCanvas canvas;
//   RasterInit(&canvas, pixels, width, height);   // pixels: width*height bytes
//   RasterClear(&canvas);                          // all white
//   RasterSetViewportExt(&canvas, width, height);
//   RasterSetWindowExt(&canvas, W, H);
//   RasterMoveTo(&canvas, x1, y1); RasterLineTo(&canvas, x2, y2); ...
//   or, for a whole picture: RasterDrawSegments(&canvas, segments, count);
#ifndef KORVITAN_RASTER_H
#define KORVITAN_RASTER_H

#include <cstddef>
#include <cstdint>

// The values of a canvas's pixels. A picture of a level alone holds only
// white and black; the overlays drawn over it add red (a leak trace) and
// blue (portals). Each value is also the colour's index in the palette of
// the pictures that hold overlays.
enum { RASTER_WHITE = 0, RASTER_BLACK = 1, RASTER_RED = 2, RASTER_BLUE = 3 };

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
    uint8_t ink;  // the value lines set their pixels to: RASTER_BLACK unless set
};

// Points the canvas at a pixel buffer; extents start as 1 x 1 (identity),
// the current point at (0, 0) and the ink black.
void RasterInit(RasterCanvas *canvas, uint8_t *pixels, int32_t width, int32_t height);
void RasterClear(RasterCanvas *canvas);
void RasterSetViewportExt(RasterCanvas *canvas, int32_t width, int32_t height);
void RasterSetWindowExt(RasterCanvas *canvas, int32_t width, int32_t height);
// The logical point that maps to the canvas' top-left corner.
void RasterSetWindowOrg(RasterCanvas *canvas, int32_t x, int32_t y);
// The value the following lines set their pixels to. Lines drawn later
// set theirs over those drawn before, so the order of the batches decides
// which colour a crossing shows.
void RasterSetInk(RasterCanvas *canvas, uint8_t ink);
void RasterMoveTo(RasterCanvas *canvas, int32_t x, int32_t y);
void RasterLineTo(RasterCanvas *canvas, int32_t x, int32_t y);

// One line of a batch, in logical coordinates.
struct RasterSegment {
    int32_t x0, y0, x1, y1;
};

// From this many segments on, RasterDrawSegments uses two threads. Below
// it, starting a thread costs more than it saves. Measured with scripts/bench
// (the fastest of many runs, when the second core was free): two threads
// draw the first 5,000 lines of the million-edge level at 1920x1080 in 1.4
// times the time of one, 10,000 in 0.8, 20,000 in 0.65; the town's 22,000
// shorter lines in 0.94. On a busy machine the second thread may wait for a
// core, which a larger batch makes up for sooner.
enum { RASTER_THREAD_THRESHOLD = 20000 };

// Draws each segment as RasterMoveTo(x0, y0) + RasterLineTo(x1, y1), with
// the canvas's extents: exactly the pixels of drawing them one by one. The
// current point ends at the last segment's end. Two threads from
// RASTER_THREAD_THRESHOLD segments on, else one.
void RasterDrawSegments(RasterCanvas *canvas, const RasterSegment *segments, size_t count);
// The same with the number of threads chosen by the caller: 1, or 2 (the
// second thread is left out when it cannot be started). RasterDrawSegments
// chooses by the count; scripts/bench measures both choices.
void RasterDrawSegmentsThreads(RasterCanvas *canvas, const RasterSegment *segments, size_t count,
                               int threads);
// RasterDrawSegments, with tick(context) called on the calling thread now
// and then while the batch is drawn (every few milliseconds at most), so a
// program can tell a long drawing from a short one as it goes.
void RasterDrawSegmentsWatched(RasterCanvas *canvas, const RasterSegment *segments, size_t count,
                               void (*tick)(void *), void *context);

// Maps one logical coordinate, less the window origin, to its device pixel:
// floor(v * float(viewport/window) + 1/2). window must not be 0.
int64_t RasterMapCoordinate(int64_t v, int32_t viewport, int32_t window);

#endif
