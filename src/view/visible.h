// visible.h - which segments of a view a zoomed part of it can touch.
//
// A zoomed picture shows a small part of its view; drawing every segment to
// clip it away costs as much as the full view. Instead the view's projected
// segments are put once, per model and view, into an index, and a paint
// asks it for the segments whose pixels can fall inside the picture. The
// others never reach the drawing calls, the mapping or the clipping.
//
// The test is exact, not approximate: a line's pixels lie inside the box of
// its two end pixels, so a segment whose end pixels are both left of the
// picture (or both right, above or below) lights no pixel of it. The
// mapping is monotone, so "both end pixels left of pixel 0" is "both ends
// left of the first logical coordinate that maps to pixel 0 or beyond", and
// the query is a box of logical coordinates worked out with the mapping
// itself. A segment the query leaves out draws nothing; every other one is
// drawn, so the picture is exactly that of drawing them all.
//
// The index is a hierarchy of grids (a loose quadtree laid flat): grid k has
// square cells of side S << k, and a segment is kept once, in the grid whose
// cells are at least as large as its bounding box, in the cell holding the
// box's lower corner; its box then lies inside that cell and the next one
// on each axis. A query looks at the cells of each grid that its box, grown
// by one cell down and left, covers. S is chosen so that the finest grid
// has no more cells than the view has segments. Memory: 16 bytes per
// segment (its two ends) and 4 bytes per cell, at most 4/3 of a cell per
// segment: at most 21 bytes per edge (19 MB for the million-edge benchmark
// level), and while it is built 4 bytes more per edge and per cell; held
// until the model or the view changes, one view at a time.
#ifndef KORVITAN_VIEW_VISIBLE_H
#define KORVITAN_VIEW_VISIBLE_H

#include <cstddef>
#include <cstdint>

#include "view/views.h"
#include "view/zoom.h"

// The device pixel of a logical coordinate (less the window origin) under
// the programs' anisotropic mapping: floor(v * float(viewport / window) +
// 1/2), the scale held as a 32-bit float as the Windows program's GDI holds
// it. window must not be 0. The rasterizer maps with this, and the culling
// works out its bounds with it.
inline float DeviceScale(int32_t viewport, int32_t window) {
    return float(double(viewport) / double(window));
}

// floor(v * scale + 1/2). The product of a 64-bit coordinate with a float
// scale can leave the range of a 64-bit integer only for coordinates no view
// produces; it saturates there. The floor is worked out by truncation and a
// correction rather than std::floor, a library call on baseline x86-64 and
// four of them per line.
inline int64_t MapWithScale(int64_t v, float scale) {
    double t = double(v) * double(scale) + 0.5;
    if (!(t > -9.2e18)) return t != t ? 0 : INT64_MIN;
    if (t >= 9.2e18) return INT64_MAX;
    int64_t whole = int64_t(t);  // toward zero
    return whole - (double(whole) > t);
}

inline int64_t DevicePixel(int64_t v, int32_t viewport, int32_t window) {
    return MapWithScale(v, DeviceScale(viewport, window));
}

// The segments of the frame's view (BeginViewFrame) that can light a pixel
// of a picture the size of the frame's viewport showing the part `shown`
// (its extent the window extent, its origin the window origin), through
// the index of the current model and view, built on first use. Sets
// *segments (valid until the next call; in the index's order, not the edge
// table's) and *count, and returns 1. Returns 0 when there is nothing to
// cull by, or no memory for the index: an extent of 0 or below, where the
// mapping is not monotone; the caller then draws every segment.
int VisibleSegments(const ViewFrame *frame, int viewMode, const ViewRect *shown,
                    const ViewSegment **segments, size_t *count);

// Lets go of the index and the query's buffer.
void ReleaseVisibleIndex(void);

#endif
