// fuzz_overlay.cpp - libFuzzer target: any text as a leak trace or a portal
// file, read and drawn.
//
// Byte 0 chooses the kind (even: a leak trace, odd: portals); the rest is
// the file, read through the real file layer as a file beside a level is.
// The overlay must keep its promises: every path within the points, every
// point a finite 32-bit float, a message exactly when a line is broken,
// tables sized by the text and never by its counts. Its lines are then
// drawn in the six views at a few sizes over a level of fixed bounds, each
// segment lighting its start pixel in its ink however far its end lies.
#include <cmath>
#include <vector>

#include "fuzz_support.h"
#include "map/model.h"
#include "map/overlay.h"
#include "raster/raster.h"
#include "res/resource.h"
#include "support/recording_backend.h"
#include "view/overlay_view.h"
#include "view/views.h"

static void CheckOverlay(const Overlay &o, OverlayKind kind, size_t textSize) {
    FUZZ_CHECK(o.pointCount >= 0 && o.pathCount >= 0 && o.closed == (kind == OVERLAY_PORTALS));
    int32_t start = 0;
    for (int32_t k = 0; k < o.pathCount; k++) {
        // A portal has at least 3 points, a leak trace is one path.
        FUZZ_CHECK(o.pathEnds[k] - start >= (kind == OVERLAY_PORTALS ? 3 : 1));
        start = o.pathEnds[k];
    }
    FUZZ_CHECK(start == o.pointCount);
    FUZZ_CHECK(kind == OVERLAY_PORTALS || o.pathCount <= 1);
    for (int32_t i = 0; i < o.pointCount; i++)
        FUZZ_CHECK(std::isfinite(o.points[i].x) && std::isfinite(o.points[i].y) && std::isfinite(o.points[i].z));
    // A point takes at least 5 bytes of text ("0 0 0"), and the tables at
    // most double what they hold; the text is read whole, once.
    uint64_t tables = 2 * (uint64_t(textSize) / 5 + 1) * sizeof(Vertex);
    FUZZ_CHECK(recording.largestRequest <= (textSize > tables ? textSize : tables) + 1024 * sizeof(Vertex));
}

// Draws the overlay in one view at one size and checks each segment's
// start pixel.
static void DrawAt(const Overlay &o, int view, int32_t width, int32_t height) {
    recording.clientRight = width;
    recording.clientBottom = height;
    ViewFrame frame;
    FUZZ_CHECK(BeginViewFrame(view, width, height, &frame));
    recording.calls.clear();
    DrawOverlay(RecordingWindow(), RecordingDC(), view, &o);
    std::vector<uint8_t> pixels(size_t(width) * size_t(height));
    RasterCanvas canvas;
    RasterInit(&canvas, pixels.data(), width, height);
    RasterClear(&canvas);
    RasterSetViewportExt(&canvas, width, height);
    RasterSetWindowExt(&canvas, frame.windowWidth, frame.windowHeight);
    RasterSetInk(&canvas, RASTER_RED);
    bool mappable = frame.windowWidth && frame.windowHeight && width && height;
    for (size_t i = 0; i + 1 < recording.calls.size(); i += 2) {
        const RecordedCall &from = recording.calls[i], &to = recording.calls[i + 1];
        FUZZ_CHECK(from.op == "move" && to.op == "line");
        RasterMoveTo(&canvas, from.a, from.b);
        RasterLineTo(&canvas, to.a, to.b);
        if (!mappable) continue;
        int64_t x0 = RasterMapCoordinate(from.a, width, frame.windowWidth);
        int64_t y0 = RasterMapCoordinate(from.b, height, frame.windowHeight);
        int64_t x1 = RasterMapCoordinate(to.a, width, frame.windowWidth);
        int64_t y1 = RasterMapCoordinate(to.b, height, frame.windowHeight);
        if (x0 >= 0 && x0 < width && y0 >= 0 && y0 < height && (x0 != x1 || y0 != y1))
            FUZZ_CHECK(pixels[size_t(y0) * size_t(width) + size_t(x0)] == RASTER_RED);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    FuzzReset();
    OverlayKind kind = data[0] & 1 ? OVERLAY_PORTALS : OVERLAY_LEAK;
    FuzzChooseInput(data + 1, size - 1);
    Overlay overlay = {};
    char message[512];
    OverlayRead read = ReadOverlayFile(kind, fileName, &overlay, message, sizeof message);
    FUZZ_CHECK(read == OVERLAY_WHOLE || read == OVERLAY_BROKEN);
    FUZZ_CHECK((read == OVERLAY_BROKEN) == (message[0] != '\0'));
    CheckOverlay(overlay, kind, size - 1);
    MapBounds = MapBoundsRecord{-64, 192, -32, 96, 0, 40};
    recording.recordCalls = true;
    const int32_t sizes[][2] = {{64, 48}, {7, 3}, {1, 1}, {0, 0}};
    for (int view = IDM_VIEW_XY; view <= IDM_VIEW_3DZ; view++)
        for (const auto &s : sizes) DrawAt(overlay, view, s[0], s[1]);
    FreeOverlay(&overlay);
    FUZZ_CHECK(recording.liveBlocks == 0);
    return 0;
}
