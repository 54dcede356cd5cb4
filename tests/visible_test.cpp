// Culling: a zoomed part of a view draws exactly the segments whose end
// pixels' box meets the picture, and so the pixels of drawing them all.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <vector>

#include "map/level_reader.h"
#include "map/model.h"
#include "raster/raster.h"
#include "res/resource.h"
#include "support/recording_backend.h"
#include "support/temp_files.h"
#include "tools/level_writer.h"
#include "view/views.h"
#include "view/zoom.h"

namespace {

using Segment = std::array<int32_t, 4>;

// The recorded drawing calls, replayed onto a canvas of the client size;
// the segments they drew go to *lines.
std::vector<uint8_t> Replay(int32_t width, int32_t height, std::vector<Segment> *lines) {
    std::vector<uint8_t> pixels(size_t(width) * size_t(height), RASTER_WHITE);
    RasterCanvas canvas;
    RasterInit(&canvas, pixels.data(), width, height);
    lines->clear();
    for (const RecordedCall &c : recording.calls) {
        if (c.op == "viewport") RasterSetViewportExt(&canvas, c.a, c.b);
        if (c.op == "window") RasterSetWindowExt(&canvas, c.a, c.b);
        if (c.op == "origin") RasterSetWindowOrg(&canvas, c.a, c.b);
        if (c.op == "move") RasterMoveTo(&canvas, c.a, c.b);
        if (c.op == "line") {
            lines->push_back({canvas.currentX, canvas.currentY, c.a, c.b});
            RasterLineTo(&canvas, c.a, c.b);
        }
    }
    return pixels;
}

// Whether the box of a segment's two end pixels meets the picture.
bool TouchesPicture(const Segment &s, const ViewRect &r, int32_t width, int32_t height) {
    int64_t x0 = RasterMapCoordinate(int64_t(s[0]) - r.x, width, r.width);
    int64_t x1 = RasterMapCoordinate(int64_t(s[2]) - r.x, width, r.width);
    int64_t y0 = RasterMapCoordinate(int64_t(s[1]) - r.y, height, r.height);
    int64_t y1 = RasterMapCoordinate(int64_t(s[3]) - r.y, height, r.height);
    return std::max(x0, x1) >= 0 && std::min(x0, x1) < width && std::max(y0, y1) >= 0 &&
           std::min(y0, y1) < height;
}

// Random levels at three scales (the last one spread over the whole 32-bit
// range of logical coordinates), mostly short edges and some across the
// level, some naming no vertex; every view at several client sizes; zoomed
// parts from half the view down to the deepest, anywhere in it, their
// edges where the rounding of the mapping decides.
TEST(Culling, ZoomedPartsDrawExactlyTheSegmentsTouchingThePicture) {
    std::mt19937 random(20);
    const float SCALES[] = {40.0f, 3000.0f, 1.5e9f};
    const int32_t SIZES[][2] = {{64, 48}, {7, 3}, {301, 45}};
    size_t culled = 0, all = 0;
    for (float scale : SCALES) {
        std::uniform_real_distribution<float> coordinate(-scale, scale);
        std::vector<Vertex> vertices(300);
        for (Vertex &v : vertices) v = {coordinate(random), coordinate(random), coordinate(random)};
        std::vector<Edge> edges;
        for (int i = 0; i < 1500; i++) {
            uint16_t a = uint16_t(random() % 300);
            uint16_t b = i % 10 ? uint16_t((a + random() % 5) % 300) : uint16_t(random() % 310);
            edges.push_back({a, b});
        }
        ResetRecording();
        ChooseFile(WriteTempFile("culling.bsp", LevelBytes(vertices, edges)));
        ASSERT_EQ(LoadBspFile(RecordingWindow()), 1);
        recording.recordCalls = true;
        for (int view = IDM_VIEW_XY; view <= IDM_VIEW_3DZ; view++) {
            for (const auto &size : SIZES) {
                recording.clientRight = size[0];
                recording.clientBottom = size[1];
                ViewFrame frame;
                BeginViewFrame(view, size[0], size[1], &frame);
                const int32_t W = frame.windowWidth, H = frame.windowHeight;
                for (int k = 0; k < 12; k++) {
                    ViewRect part = ClampViewRect(
                        {int32_t(random() % uint32_t(W)), int32_t(random() % uint32_t(H)),
                         int32_t(W >> (1 + random() % 11)), int32_t(H >> (1 + random() % 11))},
                        W, H);
                    SCOPED_TRACE(testing::Message() << "scale " << scale << " view " << view << " size "
                                                    << size[0] << "x" << size[1] << " part " << part.x << ","
                                                    << part.y << "," << part.width << "," << part.height);
                    std::vector<Segment> every, drawn;
                    recording.calls.clear();
                    DrawViewPartInOrder(RecordingWindow(), RecordingDC(), view, &part);
                    std::vector<uint8_t> want = Replay(size[0], size[1], &every);
                    recording.calls.clear();
                    DrawViewPart(RecordingWindow(), RecordingDC(), view, &part);
                    std::vector<uint8_t> got = Replay(size[0], size[1], &drawn);
                    ASSERT_EQ(got, want);
                    std::vector<Segment> touching;
                    for (const Segment &s : every)
                        if (TouchesPicture(s, part, size[0], size[1])) touching.push_back(s);
                    std::sort(touching.begin(), touching.end());
                    std::sort(drawn.begin(), drawn.end());
                    ASSERT_EQ(drawn, touching);
                    culled += every.size() - drawn.size();
                    all += every.size();
                }
            }
        }
        FreeMapData();
    }
    EXPECT_GT(culled, all / 2) << "most of a zoomed part's segments are left out";
}

}  // namespace
