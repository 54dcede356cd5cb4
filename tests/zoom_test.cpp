// Zoom and pan: the arithmetic of a step, the limits, what resets the view,
// and the mapping with a window origin.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "map/model.h"
#include "raster/raster.h"
#include "res/resource.h"
#include "shell/shell.h"
#include "shell/zoom_pan.h"
#include "support/recording_backend.h"
#include "support/temp_files.h"
#include "tools/level_writer.h"
#include "view/views.h"
#include "view/zoom.h"

namespace {

bool Same(const ViewRect &a, const ViewRect &b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

// The logical point at a pixel before a zoom is at the same pixel after it,
// to the nearest unit, wherever the pointer is and however deep the zoom.
TEST(Zoom, ZoomingKeepsThePointUnderThePointer) {
    const int32_t W = 2058, H = 1930, cw = 613, ch = 432;
    std::mt19937 random(5);
    ViewRect r = FullViewRect(W, H);
    for (int step = 0; step < 40; step++) {
        int32_t px = int32_t(random() % cw), py = int32_t(random() % ch);
        int in = step < 12 || random() % 3 != 0;
        int64_t x = LogicalAtPixel(r.x, r.width, px, cw), y = LogicalAtPixel(r.y, r.height, py, ch);
        ViewRect next = ZoomViewRect(r, W, H, x, y, in);
        bool clamped = next.x == 0 || next.y == 0 || next.x + next.width == W ||
                       next.y + next.height == H;
        if (!clamped) {
            // At most half a unit of rounding in each of the two steps.
            EXPECT_LE(std::abs(LogicalAtPixel(next.x, next.width, px, cw) - x), 1) << step;
            EXPECT_LE(std::abs(LogicalAtPixel(next.y, next.height, py, ch) - y), 1) << step;
        }
        r = next;
    }
}

TEST(Zoom, StaysWithinTheFullViewAndAThousandthOfIt) {
    const int32_t W = 5000, H = 7;
    ViewRect r = FullViewRect(W, H);
    EXPECT_TRUE(Same(ZoomViewRect(r, W, H, 10, 3, 0), r)) << "no wider than the full view";
    for (int i = 0; i < 30; i++) r = ZoomViewRect(r, W, H, W, 6, 1);
    EXPECT_EQ(r.width, 5) << "5000 / 1024 rounded up";
    EXPECT_EQ(r.height, 1) << "never below one unit";
    EXPECT_EQ(r.x, W - 5) << "pinned against the far edge";
    for (int i = 0; i < 30; i++) r = ZoomViewRect(r, W, H, 0, 0, 0);
    EXPECT_TRUE(Same(r, FullViewRect(W, H)));
    r = ViewRect{100, 2, 50, 3};
    EXPECT_TRUE(Same(PanViewRect(r, W, H, -1000, 1000), (ViewRect{0, 4, 50, 3})));
    EXPECT_TRUE(Same(ClampViewRect(ViewRect{-5, 9, 9000, 0}, W, H), (ViewRect{0, 6, 5000, 1})));
    // An axis without extent cannot zoom; one of the largest extents can,
    // without overflow.
    EXPECT_TRUE(Same(ZoomViewRect(FullViewRect(0, INT32_MAX), 0, INT32_MAX, 0, INT32_MAX, 1),
                     (ViewRect{0, INT32_MAX / 2 + 1, 0, INT32_MAX / 2})));
}

// A window origin moves the picture, nothing else: drawing with origin
// (ox, oy) lights the pixels that drawing the same segments moved by
// (-ox, -oy) lights without one, also where x - ox leaves the 32-bit range.
TEST(Zoom, WindowOriginShiftsTheMapping) {
    const int size = 64;
    std::mt19937 random(9);
    std::vector<uint8_t> a(size * size), b(size * size);
    for (int k = 0; k < 500; k++) {
        int32_t ew = int32_t(random() % 300) + 1, eh = int32_t(random() % 300) + 1;
        int32_t ox = int32_t(random() % 200), oy = int32_t(random() % 200);
        int32_t c[4];
        for (int32_t &v : c) v = int32_t(random() % 600) - 100;
        RasterCanvas canvas;
        for (int pass = 0; pass < 2; pass++) {
            RasterInit(&canvas, (pass ? b : a).data(), size, size);
            RasterClear(&canvas);
            RasterSetViewportExt(&canvas, size, size);
            RasterSetWindowExt(&canvas, ew, eh);
            int32_t dx = pass ? 0 : ox, dy = pass ? 0 : oy;
            RasterSetWindowOrg(&canvas, dx, dy);
            RasterMoveTo(&canvas, c[0] - ox + dx, c[1] - oy + dy);
            RasterLineTo(&canvas, c[2] - ox + dx, c[3] - oy + dy);
        }
        ASSERT_EQ(a, b) << k;
    }
    // INT32_MAX - INT32_MIN is 2^32 - 1 (it would be -1 in 32 bits): a line
    // from the origin to there, scaled by 2^-31, ends on pixel 2.
    RasterCanvas canvas;
    RasterInit(&canvas, a.data(), size, size);
    RasterClear(&canvas);
    RasterSetViewportExt(&canvas, 1, 1);
    RasterSetWindowExt(&canvas, INT32_MAX, 1);
    RasterSetWindowOrg(&canvas, INT32_MIN, 0);
    RasterMoveTo(&canvas, INT32_MIN, 0);
    RasterLineTo(&canvas, INT32_MAX, 0);
    EXPECT_EQ(a[0], RASTER_BLACK);
    EXPECT_EQ(a[1], RASTER_BLACK);
    EXPECT_EQ(a[2], RASTER_WHITE) << "the end pixel is not drawn";
}

class ZoomPan : public ::testing::Test {
protected:
    void SetUp() override {
        ResetRecording();
        recording.clientRight = 400;
        recording.clientBottom = 300;
        recording.openAnswer = WriteTempFile("zoom.bsp", LevelBytes({{0, 0, 0}, {780, 580, 40}}, {{0, 1}}));
        OnCommand(w, IDM_OPENBSP);  // X-Y: 800 x 600
    }
    void TearDown() override { FreeMapData(); }

    ViewRect Shown() { return ShownViewRect() ? *ShownViewRect() : ViewRect{0, 0, 800, 600}; }

    PlatWindow *w = RecordingWindow();
};

TEST_F(ZoomPan, WheelDragAndKeysMoveTheShownPart) {
    OnWheel(w, 100, 150, 1);  // logical (200, 300): it stays at pixel (100, 150)
    EXPECT_TRUE(Same(Shown(), (ViewRect{100, 150, 400, 300})));
    OnDragStart(w, 100, 100);
    OnDragMove(w, 150, 80);  // 50 and -20 pixels are 50 and -20 units
    EXPECT_TRUE(Same(Shown(), (ViewRect{50, 170, 400, 300})));
    OnZoomKey(w, ZOOM_KEY_RIGHT);
    OnZoomKey(w, ZOOM_KEY_UP);
    EXPECT_TRUE(Same(Shown(), (ViewRect{100, 133, 400, 300})));
    OnZoomKey(w, ZOOM_KEY_OUT);
    EXPECT_EQ(ShownViewRect(), nullptr) << "back to the full view";
    int repaints = recording.repaints;
    OnWheel(w, 10, 10, -3);
    EXPECT_EQ(recording.repaints, repaints) << "zooming out of the full view changes nothing";
}

TEST_F(ZoomPan, ViewsAndLoadsShowTheWholeViewAResizeKeepsThePart) {
    OnZoomKey(w, ZOOM_KEY_IN);
    ViewRect part = Shown();
    OnSize(w);
    EXPECT_TRUE(Same(Shown(), part));
    recording.calls.clear();
    OnPaint(w);
    ASSERT_GE(recording.calls.size(), 4u);
    EXPECT_EQ(recording.calls[2].op, "window");
    EXPECT_EQ(recording.calls[2].a, part.width);
    EXPECT_EQ(recording.calls[3].op, "origin");
    EXPECT_EQ(recording.calls[3].a, part.x);

    OnCommand(w, IDM_VIEW_XY);
    EXPECT_EQ(ShownViewRect(), nullptr);
    OnZoomKey(w, ZOOM_KEY_IN);
    recording.openAnswer = MissingTempPath("gone.bsp");
    OnCommand(w, IDM_OPENBSP);
    EXPECT_EQ(ShownViewRect(), nullptr) << "a failed load shows the whole view too";
    recording.calls.clear();
    OnPaint(w);
    for (const RecordedCall &call : recording.calls) EXPECT_NE(call.op, "origin");
}

}  // namespace
