// The six views: extents, logical points and the drawing calls they make,
// checked against worked examples computed by hand.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>

#include "map/level_reader.h"
#include "map/model.h"
#include "res/resource.h"
#include "tools/level_writer.h"
#include "support/recording_backend.h"
#include "support/temp_files.h"
#include "view/views.h"

namespace {

class Views : public ::testing::Test {
protected:
    void SetUp() override { ResetRecording(); }
    void TearDown() override { FreeMapData(); }

    void LoadLevel(const std::vector<Vertex> &vertices, const std::vector<Edge> &edges) {
        ChooseFile(WriteTempFile("view.bsp", LevelBytes(vertices, edges)));
        ASSERT_EQ(LoadBspFile(RecordingWindow()), 1);
        recording.calls.clear();
    }

    // The segments the last drawing issued, as (x1, y1, x2, y2).
    std::vector<std::array<int32_t, 4>> DrawnSegments() {
        std::vector<std::array<int32_t, 4>> out;
        for (size_t i = 0; i + 1 < recording.calls.size(); i++) {
            const RecordedCall &m = recording.calls[i];
            const RecordedCall &l = recording.calls[i + 1];
            if (m.op == "move" && l.op == "line") out.push_back({m.a, m.b, l.a, l.b});
        }
        return out;
    }
};

// Bounds X -64..192, Y -32..96, Z 0..40, taken from the first two vertices.
const std::vector<Vertex> EXAMPLE = {
    {-64, -32, 0}, {192, 96, 40}, {0, 0, 0}, {10.75f, -31.5f, 20}};

struct Expected {
    int viewMode;
    int32_t w, h;
    ViewPoint points[4];  // of EXAMPLE's vertices, in order
};

const Expected EXPECTED[] = {
    {IDM_VIEW_XY, 276, 148, {{10, 138}, {266, 10}, {74, 106}, {84, 137}}},
    {IDM_VIEW_XZ, 256, 40, {{0, 40}, {256, 0}, {64, 40}, {74, 20}}},
    {IDM_VIEW_YZ, 128, 40, {{0, 40}, {128, 0}, {32, 40}, {0, 20}}},
    {IDM_VIEW_3DX, 297, 89, {{0, 89}, {297, 0}, {74, 76}, {74, 68}}},
    {IDM_VIEW_3DY, 210, 138, {{0, 138}, {210, 0}, {52, 113}, {24, 89}}},
    {IDM_VIEW_3DZ, 268, 143, {{0, 143}, {268, 0}, {64, 111}, {81, 135}}},
};

TEST_F(Views, WorkedExampleExtentsAndPointsInAllSixViews) {
    // One edge from each vertex to itself and one across, so every point
    // is drawn as a start and as an end.
    LoadLevel(EXAMPLE, {{0, 1}, {2, 3}, {3, 2}});
    for (int k = 0; k < 6; k++) {
        const Expected &e = EXPECTED[k];
        SCOPED_TRACE(e.viewMode);
        recording.calls.clear();
        DrawView(RecordingWindow(), RecordingDC(), e.viewMode);
        ASSERT_EQ(recording.calls.size(), 3u + 6u);
        EXPECT_EQ(recording.calls[0].op, "mapmode");
        EXPECT_EQ(recording.calls[1].op, "viewport");
        EXPECT_EQ(recording.calls[1].a, 800);
        EXPECT_EQ(recording.calls[1].b, 600);
        EXPECT_EQ(recording.calls[2].op, "window");
        EXPECT_EQ(recording.calls[2].a, e.w);
        EXPECT_EQ(recording.calls[2].b, e.h);
        auto s = DrawnSegments();
        ASSERT_EQ(s.size(), 3u);
        const ViewPoint *p = e.points;
        EXPECT_EQ(s[0], (std::array<int32_t, 4>{p[0].x, p[0].y, p[1].x, p[1].y}));
        EXPECT_EQ(s[1], (std::array<int32_t, 4>{p[2].x, p[2].y, p[3].x, p[3].y}));
        EXPECT_EQ(s[2], (std::array<int32_t, 4>{p[3].x, p[3].y, p[2].x, p[2].y}));
    }
}

// The corners project to H 204.87537 and -64, V 111.34426 and -32, so the
// flip height is 143.34427, held as a 32-bit float.
TEST_F(Views, ObliqueFlipOfTheWorkedExample) {
    LoadLevel(EXAMPLE, {});
    ViewFrame frame;
    ASSERT_TRUE(BeginViewFrame(IDM_VIEW_3DZ, 1, 1, &frame));
    EXPECT_NEAR(frame.flip, 143.34427, 2e-5);
    EXPECT_EQ(frame.flip, double(float(frame.flip))) << "the flip height is a 32-bit float";
}

TEST_F(Views, ConstantsHaveTheirExactBits) {
    EXPECT_EQ(std::bit_cast<uint32_t>(XY_MARGIN), 0x41200000u);
    EXPECT_EQ(std::bit_cast<uint32_t>(OBLIQUE_SCALE), 0x3F0031FCu);
    EXPECT_EQ(std::bit_cast<uint32_t>(OBLIQUE_COS), 0x3F248DBBu);
    EXPECT_EQ(std::bit_cast<uint32_t>(OBLIQUE_SIN), 0x3F441B7Du);
}

TEST_F(Views, WithNothingLoadedTheSetUpIsMadeAndNoLineDrawn) {
    const int32_t expected[6][2] = {{20, 20}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}};
    for (int k = 0; k < 6; k++) {
        recording.calls.clear();
        DrawView(RecordingWindow(), RecordingDC(), IDM_VIEW_XY + k);
        ASSERT_EQ(recording.calls.size(), 3u) << k;
        EXPECT_EQ(recording.calls[2].a, expected[k][0]) << k;
        EXPECT_EQ(recording.calls[2].b, expected[k][1]) << k;
    }
}

TEST_F(Views, UnknownViewModeDrawsNothing) {
    for (int mode : {0, 104, 111, -105}) {
        DrawView(RecordingWindow(), RecordingDC(), mode);
        EXPECT_TRUE(recording.calls.empty()) << mode;
    }
}

TEST_F(Views, RangesBelowOneTruncateToZeroExtentButXYKeepsItsBorder) {
    LoadLevel({{0, 0, 0.25f}, {0.5f, 0.9f, 1.0f}}, {{0, 1}});
    ViewFrame frame;
    BeginViewFrame(IDM_VIEW_XZ, 800, 600, &frame);
    EXPECT_EQ(frame.windowWidth, 0);
    EXPECT_EQ(frame.windowHeight, 0);
    BeginViewFrame(IDM_VIEW_XY, 800, 600, &frame);
    EXPECT_EQ(frame.windowWidth, 20);
    EXPECT_EQ(frame.windowHeight, 20);
    BeginViewFrame(IDM_VIEW_3DZ, 800, 600, &frame);
    EXPECT_EQ(frame.windowWidth, 0) << "0.5 + 0.75 * 0.32 is below 1";
    EXPECT_EQ(frame.windowHeight, 1) << "0.9 + 0.75 * 0.38 is above 1";
}

TEST_F(Views, FlatLevelPutsEveryPointOnTheTopLine) {
    LoadLevel({{0, 0, 5}, {100, 50, 5}, {30, 20, 5}}, {{0, 1}, {1, 2}});
    recording.calls.clear();
    DrawView(RecordingWindow(), RecordingDC(), IDM_VIEW_XZ);
    EXPECT_EQ(recording.calls[2].b, 0) << "H is 0 and goes to the platform unchanged";
    for (auto s : DrawnSegments()) {
        EXPECT_EQ(s[1], 0);
        EXPECT_EQ(s[3], 0);
    }
}

// When the difference from the minimum rounds up past the double-precision
// range, the flipped value is a hair below zero: it truncates to 0, not -1.
TEST_F(Views, HairBelowZeroTruncatesTowardZero) {
    LoadLevel({{0, -1.25f, -1.25f}, {0, 16777216.0f, 16777216.0f}}, {{1, 1}});
    ASSERT_EQ(float(double(16777216.0f) - double(-1.25f)), 16777218.0f);
    const struct {
        int viewMode;
        int32_t y;
    } cases[] = {{IDM_VIEW_XZ, 0}, {IDM_VIEW_YZ, 0}, {IDM_VIEW_XY, 9}};
    for (const auto &c : cases) {
        recording.calls.clear();
        DrawView(RecordingWindow(), RecordingDC(), c.viewMode);
        ASSERT_EQ(DrawnSegments().size(), 1u);
        EXPECT_EQ(DrawnSegments()[0][1], c.y) << c.viewMode;
    }
}

TEST_F(Views, EdgesNamingMissingVerticesAreSkippedOthersDrawnInOrder) {
    LoadLevel({{0, 0, 0}, {10, 10, 10}}, {{0, 1}, {0, 2}, {65535, 0}, {1, 1}, {1, 0}, {1, 0}});
    recording.calls.clear();
    DrawView(RecordingWindow(), RecordingDC(), IDM_VIEW_XZ);
    auto s = DrawnSegments();
    ASSERT_EQ(s.size(), 4u) << "two edges name vertex 2 or 65535 of a table of two";
    EXPECT_EQ(s[0], (std::array<int32_t, 4>{0, 10, 10, 0}));
    EXPECT_EQ(s[1], (std::array<int32_t, 4>{10, 0, 10, 0})) << "a zero-length edge is issued";
    EXPECT_EQ(s[2], s[3]) << "a repeated edge is drawn twice";
}

// A model caught with a count beside a missing table (a paint from inside
// a load's message) draws nothing and never reads through the null table.
TEST_F(Views, CountsWithoutTheirTablesDrawNothing) {
    LoadLevel(EXAMPLE, {{0, 1}, {2, 3}});
    Vertex *vertices = MapData.vertices;
    Edge *edges = MapData.edges;
    struct Case {
        bool vertices, edges;
    } cases[] = {{false, true}, {true, false}, {false, false}};
    for (const Case &c : cases) {
        MapData.vertices = c.vertices ? vertices : nullptr;
        MapData.edges = c.edges ? edges : nullptr;
        for (int mode = IDM_VIEW_XY; mode <= IDM_VIEW_3DZ; mode++) {
            recording.calls.clear();
            DrawView(RecordingWindow(), RecordingDC(), mode);
            EXPECT_TRUE(DrawnSegments().empty()) << c.vertices << c.edges << " " << mode;
            ViewFrame frame;
            BeginViewFrame(mode, 800, 600, &frame);
            ViewSegment segment;
            EXPECT_EQ(ProjectVertices(&frame), nullptr);
            EXPECT_EQ(ViewSegmentAt(&frame, 0, &segment), 0);
        }
    }
    MapData.vertices = vertices;
    MapData.edges = edges;
}

TEST_F(Views, HostileCoordinatesGiveDefinedValues) {
    LoadLevel({{0, 0, 0}, {INFINITY, 0, 0}}, {{0, 1}});
    recording.calls.clear();
    DrawView(RecordingWindow(), RecordingDC(), IDM_VIEW_XY);
    EXPECT_EQ(recording.calls[2].a, INT32_MAX) << "the border saturates, never overflows";
    EXPECT_EQ(DrawnSegments()[0], (std::array<int32_t, 4>{10, 10, INT32_MAX, 10}));

    LoadLevel({{0, 0, 0}, {NAN, 0, 0}}, {{0, 1}});
    recording.calls.clear();
    DrawView(RecordingWindow(), RecordingDC(), IDM_VIEW_XY);
    EXPECT_EQ(recording.calls[2].a, 20) << "the range 0 - NaN truncates to 0";
    EXPECT_EQ(DrawnSegments()[0], (std::array<int32_t, 4>{0, 10, 0, 10}));

    // Ranges beyond the 32-bit limits saturate at them; the largest float
    // below the limit (2^31 - 128) and a small range both truncate.
    LoadLevel({{-3e38f, -3e38f, -3e38f}, {3e38f, 3e38f, 3e38f}}, {{0, 1}});
    for (int mode = IDM_VIEW_XY; mode <= IDM_VIEW_3DZ; mode++) {
        ViewFrame frame;
        BeginViewFrame(mode, 800, 600, &frame);
        EXPECT_EQ(frame.windowWidth, INT32_MAX) << mode;
        EXPECT_EQ(frame.windowHeight, INT32_MAX) << mode;
    }
    LoadLevel({{0, 0, 0}, {2147483520.0f, 0.5f, 2.9f}}, {});
    ViewFrame frame;
    BeginViewFrame(IDM_VIEW_XZ, 800, 600, &frame);
    EXPECT_EQ(frame.windowWidth, 2147483520);
    EXPECT_EQ(frame.windowHeight, 2) << "2.9 truncates toward zero";
}

}  // namespace
