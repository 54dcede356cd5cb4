// raster.cpp - the aliased 1-pixel line rasterizer: mapping logical points to
// device pixels, clipping lines to the canvas and the Bresenham stepping loop.
//
// A line from (x0, y0) to (x1, y1) takes n = max(|dx|, |dy|) steps along its
// major axis. Step i (0 <= i < n) lights the pixel whose major coordinate is
// the start's plus i (in the line's direction) and whose minor coordinate is
// the start's plus i*d/n rounded to the nearest integer, halves towards the
// lower coordinate (d is the signed minor delta). The end pixel is step n and
// is never drawn.
//
// Lines reaching outside the canvas are clipped by step index before any
// pixel is touched, and the loop's error term is set exactly for the first
// visible step, so a clipped line lights the same pixels as the whole line.
// Lines shorter than 2^30 pixels are clipped in 64 bits in closed form;
// longer ones (only hostile coordinates make them) by a binary search in
// 128 bits.
#include "raster/raster.h"
#include "view/visible.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

using Int128 = __int128;
using UInt128 = unsigned __int128;

// A line in major/minor axis terms. Device coordinates cover all of int64,
// so their differences (and the error terms, 2n) need 128 bits.
struct LineSteps {
    Int128 major0;  // start pixel
    Int128 minor0;
    int majorSign;  // +1 or -1
    int minorSign;  // +1 or -1; +1 when the minor delta is 0
    UInt128 steps;  // n = |major delta|
    UInt128 minorDelta;  // |minor delta|, never more than n
    bool xMajor;
};

// Where step i lands on the minor axis, and the stepping loop's error term
// there: the loop moves one minor pixel whenever the error drops below 0.
struct StepState {
    Int128 minorOffset;  // minor coordinate at step i minus minor0
    Int128 error;  // in [0, 2n)
};

Int128 Abs128(Int128 v) { return v < 0 ? -v : v; }
Int128 Min128(Int128 a, Int128 b) { return a < b ? a : b; }
Int128 Max128(Int128 a, Int128 b) { return a > b ? a : b; }

LineSteps DescribeLine(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    Int128 dx = Int128(x1) - x0;
    Int128 dy = Int128(y1) - y0;
    LineSteps line;
    // With |dx| == |dy| either axis gives the same pixels: i*d/n is exact.
    line.xMajor = Abs128(dx) >= Abs128(dy);
    Int128 dMajor = line.xMajor ? dx : dy;
    Int128 dMinor = line.xMajor ? dy : dx;
    line.major0 = line.xMajor ? x0 : y0;
    line.minor0 = line.xMajor ? y0 : x0;
    line.majorSign = dMajor < 0 ? -1 : 1;
    line.minorSign = dMinor < 0 ? -1 : 1;
    line.steps = UInt128(Abs128(dMajor));
    line.minorDelta = UInt128(Abs128(dMinor));
    return line;
}

// Exact state at step i. With i*|d| = q*n + r, the exact minor offset is
// q + r/n away from the start. Going up (d >= 0) a half rounds down, so it
// moves on only when 2r > n; going down a half also moves on (to the lower
// coordinate), so 2r >= n. i*|d| < 2^128 because i < n <= 2^64 and |d| <= n.
StepState StateAtStep(const LineSteps &line, Int128 step) {
    Int128 n = Int128(line.steps);
    if (step == 0) return {0, line.minorSign > 0 ? n : n - 1};
    UInt128 product = UInt128(step) * line.minorDelta;
    Int128 whole = Int128(product / line.steps);
    Int128 rest2 = 2 * Int128(product % line.steps);
    if (line.minorSign > 0) {
        bool up = rest2 > n;
        return {whole + up, n - rest2 + (up ? 2 * n : 0)};
    }
    bool up = rest2 >= n;
    return {-(whole + up), n - 1 - rest2 + (up ? 2 * n : 0)};
}

// First step in [lo, hi] whose minor coordinate, multiplied by minorSign,
// is at least target; hi + 1 if none. That product never decreases along
// the line, which is what makes the binary search valid.
Int128 FirstStepReaching(const LineSteps &line, Int128 lo, Int128 hi, Int128 target) {
    Int128 end = hi + 1;
    while (lo < end) {
        Int128 mid = lo + (end - lo) / 2;
        Int128 minor = line.minor0 + StateAtStep(line, mid).minorOffset;
        if (line.minorSign * minor >= target) end = mid;
        else lo = mid + 1;
    }
    return lo;
}

// Narrows [*first, *last] to the steps whose pixels lie in the canvas.
// Returns false when no step does.
bool ClipSteps(const RasterCanvas *canvas, const LineSteps &line, Int128 *first, Int128 *last) {
    Int128 majorSize = line.xMajor ? canvas->width : canvas->height;
    Int128 minorSize = line.xMajor ? canvas->height : canvas->width;
    // The major coordinate moves by one per step: solve 0 <= it < majorSize.
    Int128 lo = line.majorSign > 0 ? -line.major0 : line.major0 - (majorSize - 1);
    Int128 hi = line.majorSign > 0 ? majorSize - 1 - line.major0 : line.major0;
    lo = Max128(lo, *first);
    hi = Min128(hi, *last);
    if (lo > hi) return false;
    // The minor coordinate is monotone; in minorSign * minor terms the
    // visible range is [low, high].
    Int128 low = line.minorSign > 0 ? 0 : -(minorSize - 1);
    Int128 high = line.minorSign > 0 ? minorSize - 1 : 0;
    lo = FirstStepReaching(line, lo, hi, low);
    hi = FirstStepReaching(line, lo, hi, high + 1) - 1;
    if (lo > hi) return false;
    *first = lo;
    *last = hi;
    return true;
}

bool InsideCanvas(const RasterCanvas *canvas, int64_t x, int64_t y) {
    return x >= 0 && x < canvas->width && y >= 0 && y < canvas->height;
}

// Lights one pixel with the batch's ink. A relaxed atomic store, because
// two threads drawing one batch may light the same pixel; it compiles to a
// plain byte store.
inline void SetInk(uint8_t *pixel, uint8_t ink) {
    std::atomic_ref<uint8_t>(*pixel).store(ink, std::memory_order_relaxed);
}
static_assert(std::atomic_ref<uint8_t>::required_alignment == 1, "any byte of the canvas can be lit");

// The hot loop: one store per step, no division. Error is int64_t whenever
// 2n fits, so ordinary lines never touch 128-bit arithmetic here.
template <typename Error>
void StepPixels(uint8_t *pixels, uint8_t ink, ptrdiff_t index, ptrdiff_t majorStride,
                ptrdiff_t minorStride, int64_t count, Error error, Error minorDelta2, Error steps2) {
    for (int64_t k = 0; k < count; ++k) {
        SetInk(&pixels[index], ink);
        index += majorStride;
        error -= minorDelta2;
        if (error < 0) {
            error += steps2;
            index += minorStride;
        }
    }
}

// The same without a branch per step: where the minor coordinate moves
// depends on the slope in a way no branch predictor follows, and a wrong
// guess costs more than the few operations that replace the branch.
template <>
void StepPixels<int64_t>(uint8_t *pixels, uint8_t ink, ptrdiff_t index, ptrdiff_t majorStride,
                         ptrdiff_t minorStride, int64_t count, int64_t error, int64_t minorDelta2,
                         int64_t steps2) {
    for (int64_t k = 0; k < count; ++k) {
        SetInk(&pixels[index], ink);
        error -= minorDelta2;
        int64_t moves = error >> 63;  // all ones when the error went below 0
        error += steps2 & moves;
        index += majorStride + (minorStride & moves);
    }
}

// Draws steps first..last, all of which are known to be inside the canvas.
void PlotSteps(RasterCanvas *canvas, const LineSteps &line, Int128 first, Int128 last) {
    StepState state = StateAtStep(line, first);
    Int128 major = line.major0 + line.majorSign * first;
    Int128 minor = line.minor0 + state.minorOffset;
    ptrdiff_t width = canvas->width;
    ptrdiff_t x = ptrdiff_t(line.xMajor ? major : minor);
    ptrdiff_t y = ptrdiff_t(line.xMajor ? minor : major);
    ptrdiff_t majorStride = line.majorSign * (line.xMajor ? 1 : width);
    ptrdiff_t minorStride = line.minorSign * (line.xMajor ? width : 1);
    int64_t count = int64_t(last - first + 1);
    Int128 steps2 = 2 * Int128(line.steps);
    Int128 minorDelta2 = 2 * Int128(line.minorDelta);
    if (steps2 <= INT64_MAX) {
        StepPixels<int64_t>(canvas->pixels, canvas->ink, y * width + x, majorStride, minorStride,
                            count, int64_t(state.error), int64_t(minorDelta2), int64_t(steps2));
    } else {
        StepPixels<Int128>(canvas->pixels, canvas->ink, y * width + x, majorStride, minorStride,
                           count, state.error, minorDelta2, steps2);
    }
}

}  // namespace

static void DeviceLine(RasterCanvas *canvas, int64_t x0, int64_t y0, int64_t x1, int64_t y1);

void RasterInit(RasterCanvas *canvas, uint8_t *pixels, int32_t width, int32_t height) {
    canvas->pixels = pixels;
    canvas->width = width;
    canvas->height = height;
    canvas->windowWidth = 1;
    canvas->windowHeight = 1;
    canvas->windowX = 0;
    canvas->windowY = 0;
    canvas->viewportWidth = 1;
    canvas->viewportHeight = 1;
    canvas->currentX = 0;
    canvas->currentY = 0;
    canvas->ink = RASTER_BLACK;
}

void RasterClear(RasterCanvas *canvas) {
    if (canvas->width <= 0 || canvas->height <= 0) return;
    std::memset(canvas->pixels, RASTER_WHITE, size_t(canvas->width) * size_t(canvas->height));
}

void RasterSetViewportExt(RasterCanvas *canvas, int32_t width, int32_t height) {
    canvas->viewportWidth = width;
    canvas->viewportHeight = height;
}

void RasterSetWindowExt(RasterCanvas *canvas, int32_t width, int32_t height) {
    canvas->windowWidth = width;
    canvas->windowHeight = height;
}

void RasterSetWindowOrg(RasterCanvas *canvas, int32_t x, int32_t y) {
    canvas->windowX = x;
    canvas->windowY = y;
}

void RasterSetInk(RasterCanvas *canvas, uint8_t ink) { canvas->ink = ink; }

void RasterMoveTo(RasterCanvas *canvas, int32_t x, int32_t y) {
    canvas->currentX = x;
    canvas->currentY = y;
}

static bool Mappable(const RasterCanvas *canvas) {
    return canvas->windowWidth != 0 && canvas->windowHeight != 0 && canvas->viewportWidth != 0 &&
           canvas->viewportHeight != 0;
}

// The line between two logical points, both mapped to the device; the
// window origin is taken off in 64 bits.
static void LogicalLine(RasterCanvas *canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    int32_t vw = canvas->viewportWidth, vh = canvas->viewportHeight;
    int32_t ww = canvas->windowWidth, wh = canvas->windowHeight;
    int64_t ox = canvas->windowX, oy = canvas->windowY;
    DeviceLine(canvas, RasterMapCoordinate(x0 - ox, vw, ww), RasterMapCoordinate(y0 - oy, vh, wh),
               RasterMapCoordinate(x1 - ox, vw, ww), RasterMapCoordinate(y1 - oy, vh, wh));
}

void RasterLineTo(RasterCanvas *canvas, int32_t x, int32_t y) {
    if (Mappable(canvas)) LogicalLine(canvas, canvas->currentX, canvas->currentY, x, y);
    canvas->currentX = x;
    canvas->currentY = y;
}

// MapWithScale without its saturation, for a share whose products stay far
// inside 64 bits: a coordinate less the origin is below 2^33 (two 32-bit
// numbers), a scale below 2^29, so the product is below 2^62.
static inline int64_t MapInRange(int64_t v, double scale) {
    double t = double(v) * scale + 0.5;
    int64_t whole = int64_t(t);  // toward zero: the floor, unless t is below 0
    if (t < 0 && double(whole) != t) whole--;
    return whole;
}

[[gnu::always_inline]] inline static void InsideLine(uint8_t *pixels, uint8_t ink, ptrdiff_t width, int64_t x0,
                                                     int64_t y0, int64_t x1, int64_t y1);

// One thread's share of a batch: RasterMapCoordinate's mapping with the two
// scales worked out once for the whole share, and the canvas in locals.
// Only the pixels are written, so two shares can run at once on the same
// canvas.
static void DrawShare(RasterCanvas *canvas, const RasterSegment *segments, size_t count) {
    float sx = DeviceScale(canvas->viewportWidth, canvas->windowWidth);
    float sy = DeviceScale(canvas->viewportHeight, canvas->windowHeight);
    int64_t ox = canvas->windowX, oy = canvas->windowY;
    const int64_t width = canvas->width, height = canvas->height;
    if (width <= 0 || height <= 0) return;
    if (!(std::fabs(sx) < 0x1p29f && std::fabs(sy) < 0x1p29f)) {
        for (size_t i = 0; i < count; i++) {
            const RasterSegment &s = segments[i];
            DeviceLine(canvas, MapWithScale(s.x0 - ox, sx), MapWithScale(s.y0 - oy, sy),
                       MapWithScale(s.x1 - ox, sx), MapWithScale(s.y1 - oy, sy));
        }
        return;
    }
    const double fx = sx, fy = sy;
    uint8_t *pixels = canvas->pixels;
    const uint8_t ink = canvas->ink;
    for (size_t i = 0; i < count; i++) {
        const RasterSegment &s = segments[i];
        int64_t x0 = MapInRange(s.x0 - ox, fx), y0 = MapInRange(s.y0 - oy, fy);
        int64_t x1 = MapInRange(s.x1 - ox, fx), y1 = MapInRange(s.y1 - oy, fy);
        // Both ends on the canvas (one unsigned comparison each): nothing
        // to clip, the common case.
        if (uint64_t(x0) < uint64_t(width) && uint64_t(x1) < uint64_t(width) && uint64_t(y0) < uint64_t(height) &&
            uint64_t(y1) < uint64_t(height))
            InsideLine(pixels, ink, width, x0, y0, x1, y1);
        else
            DeviceLine(canvas, x0, y0, x1, y1);
    }
}

// The calling thread's share is drawn in chunks of this many segments, with
// the caller's tick between them: a few milliseconds of drawing at most.
enum { TICK_SEGMENTS = 8192 };

// A share drawn on a thread of its own; the calling thread can wait for it
// a little at a time.
struct HelperShare {
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    std::thread thread;
};

static void RunHelperShare(HelperShare *helper, RasterCanvas *canvas, const RasterSegment *segments,
                           size_t count) {
    DrawShare(canvas, segments, count);
    std::lock_guard<std::mutex> hold(helper->lock);
    helper->done = true;
    helper->finished.notify_one();
}

// The batch with `threads` threads (1 or 2), the caller's tick called on the
// calling thread every TICK_SEGMENTS segments and every few milliseconds of
// waiting for the helper.
static void DrawBatch(RasterCanvas *canvas, const RasterSegment *segments, size_t count, int threads,
                      void (*tick)(void *), void *context) {
    if (count == 0) return;
    if (Mappable(canvas)) {
        // The first half to a second thread, the rest here. Segments come
        // in the level's order, which keeps nearby lines together, so the
        // two halves mostly touch different parts of the canvas.
        size_t half = threads >= 2 ? count / 2 : 0;
        HelperShare helper;
        try {
            if (half) helper.thread = std::thread(RunHelperShare, &helper, canvas, segments, half);
        } catch (const std::system_error &) {
            half = 0;  // no thread to be had: all of it here
        }
        for (size_t at = half; at < count; at += TICK_SEGMENTS) {
            DrawShare(canvas, segments + at, std::min<size_t>(TICK_SEGMENTS, count - at));
            if (tick) tick(context);
        }
        if (helper.thread.joinable()) {
            std::unique_lock<std::mutex> hold(helper.lock);
            while (!helper.finished.wait_for(hold, std::chrono::milliseconds(5), [&] { return helper.done; })) {
                hold.unlock();
                if (tick) tick(context);
                hold.lock();
            }
            hold.unlock();
            helper.thread.join();
        }
    }
    canvas->currentX = segments[count - 1].x1;
    canvas->currentY = segments[count - 1].y1;
}

void RasterDrawSegmentsThreads(RasterCanvas *canvas, const RasterSegment *segments, size_t count,
                               int threads) {
    DrawBatch(canvas, segments, count, threads, nullptr, nullptr);
}

static int ThreadsFor(size_t count) { return count >= RASTER_THREAD_THRESHOLD ? 2 : 1; }

void RasterDrawSegments(RasterCanvas *canvas, const RasterSegment *segments, size_t count) {
    DrawBatch(canvas, segments, count, ThreadsFor(count), nullptr, nullptr);
}

void RasterDrawSegmentsWatched(RasterCanvas *canvas, const RasterSegment *segments, size_t count,
                               void (*tick)(void *), void *context) {
    DrawBatch(canvas, segments, count, ThreadsFor(count), tick, context);
}

// The mapping keeps the scale viewport/window as a 32-bit float, as the
// Windows program's GDI does, and maps each point in double precision,
// rounding halves up. The float scale matters: 2085 * 722/2780 is exactly
// 541.5 (pixel 542), but with the float scale it is 541.49997..., pixel 541.
int64_t RasterMapCoordinate(int64_t v, int32_t viewport, int32_t window) {
    return DevicePixel(v, viewport, window);
}

// A line whose two ends are inside the canvas needs no clipping and no
// 128-bit arithmetic: the plain stepping loop, set up in 64 bits. This is
// the common case and the one the per-line cost matters for.
// Set up without a branch: the directions of a level's lines follow no
// pattern a branch predictor could learn, and at a few dozen pixels a line
// a wrong guess per line costs as much as its pixels.
[[gnu::always_inline]] inline static void InsideLine(uint8_t *pixels, uint8_t ink, ptrdiff_t width, int64_t x0,
                                                     int64_t y0, int64_t x1, int64_t y1) {
    int64_t dx = x1 - x0, dy = y1 - y0;
    int64_t signX = dx >> 63, signY = dy >> 63;  // 0, or -1 going left or up
    int64_t adx = (dx ^ signX) - signX, ady = (dy ^ signY) - signY;
    bool xMajor = adx >= ady;
    int64_t steps = xMajor ? adx : ady;
    int64_t minorDelta = xMajor ? ady : adx;
    ptrdiff_t stepX = signX | 1, stepY = (signY | 1) * width;
    ptrdiff_t majorStride = xMajor ? stepX : stepY;
    ptrdiff_t minorStride = xMajor ? stepY : stepX;
    // The error term at step 0: halves go to the lower coordinate, so n - 1
    // going down the minor axis, n otherwise.
    int64_t error = steps + (xMajor ? signY : signX);
    StepPixels<int64_t>(pixels, ink, ptrdiff_t(y0) * width + ptrdiff_t(x0), majorStride, minorStride, steps,
                        error, 2 * minorDelta, 2 * steps);
}

// The clipping of a line shorter than 2^30 pixels, in 64 bits and closed
// form. With e0 the error term at step 0 (n, or n - 1 going down the minor
// axis), the minor coordinate has moved M(i) = (2*md*i + 2n - 1 - e0) / 2n
// times at step i (md the minor delta, n the steps; the numerator is never
// negative), and M(i) >= t first holds at i = ceil((2n*(t - 1) + 1 + e0) /
// 2md) for 1 <= t <= md. Every product stays below 2^62. Returns false,
// having drawn nothing, for a line too long for it or with an end beyond
// 2^61 (ClipSteps then draws it).
static bool ClippedLine64(RasterCanvas *canvas, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    const int64_t LIMIT = int64_t(1) << 30, FAR = int64_t(1) << 61;
    // Ends within 2^61, so that their differences fit.
    for (int64_t v : {x0, y0, x1, y1})
        if (v <= -FAR || v >= FAR) return false;
    int64_t dx = x1 - x0, dy = y1 - y0;
    int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    bool xMajor = adx >= ady;
    int64_t n = xMajor ? adx : ady, md = xMajor ? ady : adx;
    if (n >= LIMIT) return false;
    if (n == 0) return true;
    int majorSign = (xMajor ? dx : dy) < 0 ? -1 : 1, minorSign = (xMajor ? dy : dx) < 0 ? -1 : 1;
    int64_t major0 = xMajor ? x0 : y0, minor0 = xMajor ? y0 : x0;
    int64_t majorSize = xMajor ? canvas->width : canvas->height;
    int64_t minorSize = xMajor ? canvas->height : canvas->width;
    // Steps whose major coordinate lies on the canvas.
    int64_t first = majorSign > 0 ? -major0 : major0 - (majorSize - 1);
    int64_t last = majorSign > 0 ? majorSize - 1 - major0 : major0;
    first = first < 0 ? 0 : first;
    last = last > n - 1 ? n - 1 : last;
    if (first > last) return true;
    // Steps whose minor coordinate does: minorSign * minor within [low, high].
    const int64_t e0 = minorSign > 0 ? n : n - 1;
    auto firstReaching = [&](int64_t t) -> int64_t {  // the first step with M(i) >= t
        if (t <= 0) return 0;
        if (t > md) return INT64_MAX;
        int64_t a = 2 * n * (t - 1) + 1 + e0;
        return (a + 2 * md - 1) / (2 * md);
    };
    int64_t base = minorSign * minor0;
    int64_t low = minorSign > 0 ? 0 : -(minorSize - 1), high = minorSign > 0 ? minorSize - 1 : 0;
    int64_t enter = firstReaching(low - base), leave = firstReaching(high + 1 - base);
    if (enter > first) first = enter;
    if (leave != INT64_MAX && leave - 1 < last) last = leave - 1;
    if (first > last) return true;
    int64_t moves = (2 * md * first + 2 * n - 1 - e0) / (2 * n);
    int64_t error = e0 - 2 * md * first + 2 * n * moves;
    int64_t major = major0 + majorSign * first, minor = minor0 + minorSign * moves;
    ptrdiff_t width = canvas->width;
    ptrdiff_t x = ptrdiff_t(xMajor ? major : minor), y = ptrdiff_t(xMajor ? minor : major);
    ptrdiff_t majorStride = majorSign * (xMajor ? 1 : width);
    ptrdiff_t minorStride = minorSign * (xMajor ? width : 1);
    StepPixels<int64_t>(canvas->pixels, canvas->ink, y * width + x, majorStride, minorStride, last - first + 1, error,
                        2 * md, 2 * n);
    return true;
}

// Draws device pixels from (x0, y0) up to but not including (x1, y1),
// clipped to the canvas.
static void DeviceLine(RasterCanvas *canvas, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    if (canvas->width <= 0 || canvas->height <= 0) return;
    // A line stays within the box of its two ends, so when both are inside
    // there is nothing to clip.
    if (InsideCanvas(canvas, x0, y0) && InsideCanvas(canvas, x1, y1)) {
        InsideLine(canvas->pixels, canvas->ink, canvas->width, x0, y0, x1, y1);
        return;
    }
    if (ClippedLine64(canvas, x0, y0, x1, y1)) return;
    LineSteps line = DescribeLine(x0, y0, x1, y1);
    if (line.steps == 0) return;
    Int128 first = 0;
    Int128 last = Int128(line.steps) - 1;
    if (!ClipSteps(canvas, line, &first, &last)) return;
    PlotSteps(canvas, line, first, last);
}
