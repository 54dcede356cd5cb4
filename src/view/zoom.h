// zoom.h - the part of a view that is shown: zoom and pan in whole logical
// units.
//
// A view shows a rectangle of its logical plane, its origin (x, y) and
// extent (width, height). The full view, the whole level stretched over the
// client area, is origin (0, 0) and the view's window extent (W, H). Each
// axis is zoomed and panned on its own, as each is stretched on its own:
//
//   limits   W/1024 rounded up (at least 1) <= width <= W, and
//            0 <= x <= W - width; likewise for y, height and H. An axis
//            whose W is below 1 cannot zoom: it stays (0, W).
//   zoom in  about a logical point p: width' = max(least, width / 2), and
//            x' = p - round((p - x) * width' / width), then clamped; so p
//            keeps its place on the screen to the nearest whole unit.
//   zoom out the same with width' = min(W, width * 2).
//   pan      by d units: x' = x + d, clamped.
//
// Divisions round down, round() rounds halves up; coordinates are held in
// 64 bits and products formed in 128, so no step can overflow. The host-free arithmetic is all here; the
// shell keeps the state and the programs feed it pointer and key events.
#ifndef KORVITAN_VIEW_ZOOM_H
#define KORVITAN_VIEW_ZOOM_H

#include <cstdint>

// A rectangle of a view's logical plane.
struct ViewRect {
    int32_t x, y;           // origin
    int32_t width, height;  // extent
};

// The full view of a view whose window extent is W x H.
ViewRect FullViewRect(int32_t fullWidth, int32_t fullHeight);
// Whether rect is the full view of W x H.
int IsFullView(const ViewRect *rect, int32_t fullWidth, int32_t fullHeight);
// The rectangle brought inside the limits above (a view's extent can change
// under a kept rectangle only when the level does; this keeps it valid).
ViewRect ClampViewRect(ViewRect rect, int32_t fullWidth, int32_t fullHeight);

// Zooms in (zoomIn = 1) or out (0) by 2 about the logical point (px, py).
ViewRect ZoomViewRect(ViewRect rect, int32_t fullWidth, int32_t fullHeight, int64_t px,
                      int64_t py, int zoomIn);
// Moves the rectangle by (dx, dy) logical units, within the full view.
ViewRect PanViewRect(ViewRect rect, int32_t fullWidth, int32_t fullHeight, int64_t dx, int64_t dy);

// The logical coordinate whose pixel centre is at device pixel `pixel` of a
// client side `clientSize` pixels long showing [origin, origin + extent):
// origin + round(pixel * extent / clientSize).
int64_t LogicalAtPixel(int32_t origin, int32_t extent, int32_t pixel, int32_t clientSize);
// A move of `pixels` device pixels in logical units: round(pixels * extent /
// clientSize).
int64_t LogicalDistance(int32_t extent, int64_t pixels, int32_t clientSize);

#endif
