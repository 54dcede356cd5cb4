// zoom.cpp - see zoom.h. Each axis is worked on its own, in 64 bits, with
// products in 128.
#include "view/zoom.h"

namespace {

// One axis of a rectangle: its origin and extent inside [0, full].
struct Span {
    int64_t origin, extent;
};

// Zooming stops here: W/1024 rounded up, and never below one unit.
int64_t LeastExtent(int64_t full) {
    int64_t least = (full + 1023) / 1024;
    return least < 1 ? 1 : least;
}

int64_t Clamp(int64_t v, int64_t low, int64_t high) { return v < low ? low : v > high ? high : v; }

// a * b / c rounded half up, for c > 0. The product is formed in 128 bits;
// every caller's result lies within 64 bits.
int64_t RoundedRatio(int64_t a, int64_t b, int64_t c) {
    __int128 twice = __int128(2) * a * b + c;
    __int128 divisor = __int128(2) * c;
    __int128 q = twice / divisor;
    if (twice % divisor < 0) q -= 1;  // floor, also below zero
    return int64_t(q);
}

Span ClampSpan(Span s, int64_t full) {
    if (full < 1) return Span{0, full};
    s.extent = Clamp(s.extent, LeastExtent(full), full);
    s.origin = Clamp(s.origin, 0, full - s.extent);
    return s;
}

Span ZoomSpan(Span s, int64_t full, int64_t point, int zoomIn) {
    s = ClampSpan(s, full);
    if (full < 1) return s;
    int64_t extent = zoomIn ? s.extent / 2 : s.extent * 2;
    extent = Clamp(extent, LeastExtent(full), full);
    s.origin = point - RoundedRatio(point - s.origin, extent, s.extent);
    s.extent = extent;
    return ClampSpan(s, full);
}

ViewRect FromSpans(Span h, Span v) {
    return ViewRect{int32_t(h.origin), int32_t(v.origin), int32_t(h.extent), int32_t(v.extent)};
}

Span Horizontal(const ViewRect &r) { return Span{r.x, r.width}; }
Span Vertical(const ViewRect &r) { return Span{r.y, r.height}; }

}  // namespace

ViewRect FullViewRect(int32_t fullWidth, int32_t fullHeight) {
    return ViewRect{0, 0, fullWidth, fullHeight};
}

int IsFullView(const ViewRect *rect, int32_t fullWidth, int32_t fullHeight) {
    return rect->x == 0 && rect->y == 0 && rect->width == fullWidth && rect->height == fullHeight;
}

ViewRect ClampViewRect(ViewRect rect, int32_t fullWidth, int32_t fullHeight) {
    return FromSpans(ClampSpan(Horizontal(rect), fullWidth), ClampSpan(Vertical(rect), fullHeight));
}

ViewRect ZoomViewRect(ViewRect rect, int32_t fullWidth, int32_t fullHeight, int64_t px,
                      int64_t py, int zoomIn) {
    return FromSpans(ZoomSpan(Horizontal(rect), fullWidth, px, zoomIn),
                     ZoomSpan(Vertical(rect), fullHeight, py, zoomIn));
}

ViewRect PanViewRect(ViewRect rect, int32_t fullWidth, int32_t fullHeight, int64_t dx, int64_t dy) {
    Span h = Horizontal(rect), v = Vertical(rect);
    h.origin += dx;
    v.origin += dy;
    return FromSpans(ClampSpan(h, fullWidth), ClampSpan(v, fullHeight));
}

int64_t LogicalAtPixel(int32_t origin, int32_t extent, int32_t pixel, int32_t clientSize) {
    if (clientSize <= 0) return origin;
    return origin + RoundedRatio(pixel, extent, clientSize);
}

int64_t LogicalDistance(int32_t extent, int64_t pixels, int32_t clientSize) {
    if (clientSize <= 0) return 0;
    return RoundedRatio(pixels, extent, clientSize);
}
