// Overlays: leak traces and portal files read line by line, every broken
// line named, and their points drawn exactly where the level's own would be.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostile_files.h"
#include "map/model.h"
#include "map/overlay.h"
#include "map/level_reader.h"
#include "res/resource.h"
#include "support/recording_backend.h"
#include "support/temp_files.h"
#include "tools/level_writer.h"
#include "view/overlay_view.h"
#include "view/views.h"

namespace {

struct Parsed {
    OverlayRead read;
    std::string message;
    std::vector<Vertex> points;
    std::vector<int32_t> pathEnds;
    int closed;
};

Parsed Parse(OverlayKind kind, const std::string &text) {
    Overlay overlay = {};
    char message[256];
    Parsed p;
    p.read = ParseOverlay(kind, text.data(), text.size(), &overlay, message, sizeof message);
    p.message = message;
    p.points.assign(overlay.points, overlay.points + overlay.pointCount);
    p.pathEnds.assign(overlay.pathEnds, overlay.pathEnds + overlay.pathCount);
    p.closed = overlay.closed;
    FreeOverlay(&overlay);
    return p;
}

bool SamePoints(const std::vector<Vertex> &a, const std::vector<Vertex> &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++)
        if (a[i].x != b[i].x || a[i].y != b[i].y || a[i].z != b[i].z) return false;
    return true;
}

class Overlays : public ::testing::Test {
protected:
    void SetUp() override { ResetRecording(); }
    void TearDown() override { FreeMapData(); }
};

TEST_F(Overlays, LeakTraceIsOnePolylineUpToTheFirstBrokenLine) {
    const std::string broken = "expected three numbers x y z";
    const struct {
        const char *text;
        OverlayRead read;
        std::string message;  // after "Leak trace: "
        std::vector<Vertex> points;
    } cases[] = {
        {"1 2 3\n-4.5 5e1 +6\n", OVERLAY_WHOLE, "", {{1, 2, 3}, {-4.5f, 50, 6}}},
        // CR LF ends, blank lines anywhere, no end after the last line.
        {"1 2 3\r\n\n \t\n0.1\t0.25 -0\r\n", OVERLAY_WHOLE, "", {{1, 2, 3}, {0.1f, 0.25f, -0.0f}}},
        {"", OVERLAY_WHOLE, "", {}},
        {"1 2 3\n1 2\n7 8 9\n", OVERLAY_BROKEN, "line 2: " + broken, {{1, 2, 3}}},
        {"1 2 3 4\n", OVERLAY_BROKEN, "line 1: expected the end of the line after x y z", {}},
        // A decimal comma, two numbers run together, what is no finite
        // 32-bit float, hexadecimal: none is a number as a C locale writes one.
        {"1 2 3\n\n1,5 2 3\n", OVERLAY_BROKEN, "line 3: " + broken, {{1, 2, 3}}},
        {"1-2 3 4\n", OVERLAY_BROKEN, "line 1: " + broken, {}},
        {"1 nan 3\n", OVERLAY_BROKEN, "line 1: " + broken, {}},
        {"1 2 inf\n", OVERLAY_BROKEN, "line 1: " + broken, {}},
        {"1 1e39 3\n", OVERLAY_BROKEN, "line 1: " + broken, {}},
        {"0x10 2 3\n", OVERLAY_BROKEN, "line 1: " + broken, {}},
        {"+-1 2 3\n", OVERLAY_BROKEN, "line 1: " + broken, {}},
    };
    for (const auto &c : cases) {
        Parsed p = Parse(OVERLAY_LEAK, c.text);
        EXPECT_EQ(p.read, c.read) << c.text;
        EXPECT_EQ(p.message, c.message.empty() ? "" : "Leak trace: " + c.message) << c.text;
        EXPECT_TRUE(SamePoints(p.points, c.points)) << c.text;
        EXPECT_EQ(p.pathEnds, c.points.empty() ? std::vector<int32_t>{} : std::vector<int32_t>{int32_t(c.points.size())})
            << c.text;
        EXPECT_EQ(p.closed, 0);
    }
}

TEST_F(Overlays, EveryPortalFormatGivesTheSamePolygons) {
    const std::string a = "4 0 1 (0 0 0) (64 0 0) (64 0 32) (0 0 32)\n";
    const std::string b = "3 1 2 (-8.5 16 0 ) (8 16 0) (8 16 24)\n";
    const std::string withFlag = "4 0 1 0 (0 0 0) (64 0 0) (64 0 32) (0 0 32)\n3 1 2 1 (-8.5 16 0) (8 16 0) (8 16 24)\n";
    const std::string formats[] = {
        "PRT1\n3\n2\n" + a + b,
        "PRT1\r\n3\r\n2\r\n\r\n" + a + "\n" + b,
        // The faces' count, and the faces after the portals, are not read.
        "PRT1\n3\n2\n5\n" + withFlag + "4 0 (1 1 1) (2 2 2) (3 3 3) (4 4 4)\n",
        // The clusters, the portals, the leaves; then each leaf's cluster.
        "PRT1-AM\n3\n2\n4\n" + a + b + "0\n0\n1\n2\n",
        // The leaves, the clusters, the portals; then each leaf's cluster.
        "PRT2\n4\n3\n2\n" + a + b + "0\n0\n1\n2\n",
    };
    const std::vector<Vertex> points = {{0, 0, 0}, {64, 0, 0}, {64, 0, 32}, {0, 0, 32},
                                        {-8.5f, 16, 0}, {8, 16, 0}, {8, 16, 24}};
    for (const std::string &text : formats) {
        Parsed p = Parse(OVERLAY_PORTALS, text);
        EXPECT_EQ(p.read, OVERLAY_WHOLE) << text << p.message;
        EXPECT_TRUE(SamePoints(p.points, points)) << text;
        EXPECT_EQ(p.pathEnds, (std::vector<int32_t>{4, 7})) << text;
        EXPECT_EQ(p.closed, 1);
    }
}

TEST_F(Overlays, BrokenPortalFilesNameTheirLineAndKeepTheWholePortalsBefore) {
    const std::string head = "PRT1\n9\n2\n";
    const std::string good = "3 0 1 (0 0 0) (8 0 0) (8 8 0)\n";
    const struct {
        std::string text;
        std::string message;  // after "Portals: "
        size_t portalsKept;
    } cases[] = {
        {"", "line 1: expected PRT1, PRT1-AM or PRT2", 0},
        {"PRT3\n9\n1\n" + good, "line 1: expected PRT1, PRT1-AM or PRT2", 0},
        {"PRT1 x\n", "line 1: expected PRT1, PRT1-AM or PRT2", 0},
        {"PRT1\n9\n", "line 3: expected a count, one whole number", 0},
        {"PRT2\n9\n1.5\n2\n", "line 3: expected a count, one whole number", 0},
        {"PRT1\n9\n-2\n", "line 3: expected a count, one whole number", 0},
        {head + good, "line 5: the file ends after 1 of 2 portals", 1},
        {head + good + "2 0 1 (0 0 0) (8 0 0)\n", "line 5: a portal has at least 3 points", 1},
        {head + good + "4 0 1 (0 0 0) (8 0 0) (8 8 0)\n",
         "line 5: expected as many points (x y z) as the portal's point count", 1},
        {head + good + "3 0 1 (0 0 0) (8 0) (8 8 0)\n",
         "line 5: expected as many points (x y z) as the portal's point count", 1},
        {head + good + "3 0 1 (0 0 0) (8 0 0) (8 8 0) (9 9 9)\n",
         "line 5: expected the end of the line after the portal's points", 1},
        {head + "3 0 (0 0 0) (8 0 0) (8 8 0)\n" + good,
         "line 4: expected a point count, two leaf numbers and the points (x y z)", 0},
        {head + "3 0 1 2 3 (0 0 0) (8 0 0) (8 8 0)\n",
         "line 4: expected a point count, two leaf numbers and the points (x y z)", 0},
        // Counts that claim more than the file holds size nothing.
        {"PRT1\n9\n2000000000\n" + good, "line 5: the file ends after 1 of 2000000000 portals", 1},
        {head + "999999999 0 1 (0 0 0) (8 0 0) (8 8 0)\n",
         "line 4: expected as many points (x y z) as the portal's point count", 0},
    };
    for (const auto &c : cases) {
        recording.largestRequest = 0;
        Parsed p = Parse(OVERLAY_PORTALS, c.text);
        EXPECT_EQ(p.read, OVERLAY_BROKEN) << c.text;
        EXPECT_EQ(p.message, "Portals: " + c.message) << c.text;
        EXPECT_EQ(p.pathEnds.size(), c.portalsKept) << c.text;
        EXPECT_EQ(p.points.size(), 3 * c.portalsKept) << c.text;
        EXPECT_LE(recording.largestRequest, 1024u * sizeof(Vertex)) << c.text;
    }
}

// The overlay fuzzer's seeds end as they say they do.
TEST_F(Overlays, HostileInputsEndAsNamed) {
    for (const HostileFile &f : HostileOverlayInputs()) {
        Parsed p = Parse(f.bytes[0] & 1 ? OVERLAY_PORTALS : OVERLAY_LEAK,
                         std::string(f.bytes.begin() + 1, f.bytes.end()));
        EXPECT_EQ(p.read, f.loads ? OVERLAY_WHOLE : OVERLAY_BROKEN) << f.name;
        EXPECT_EQ(p.message, f.message) << f.name;
    }
}

TEST_F(Overlays, FilesAreFoundBesideTheLevelAndReadOrNamed) {
    const struct {
        const char *level, *ending, *beside;
    } paths[] = {
        {"/maps/e1m1.bsp", ".pts", "/maps/e1m1.pts"},
        {"/maps/E1M1.BSP", ".lin", "/maps/E1M1.lin"},
        {"/maps.d/start", ".prt", "/maps.d/start.prt"},
        {"/maps/.hidden", ".pts", "/maps/.hidden.pts"},
        {"rel/a.b.bsp", ".prt", "rel/a.b.prt"},
    };
    for (const auto &p : paths) {
        char out[64];
        ASSERT_EQ(OverlayPathBeside(p.level, p.ending, out, sizeof out), 1) << p.level;
        EXPECT_STREQ(out, p.beside);
    }
    char tiny[14];
    EXPECT_EQ(OverlayPathBeside("/maps/e1m1.bsp", ".pts", tiny, sizeof tiny), 0) << "14 bytes with the terminator";

    Overlay overlay = {};
    char message[512];
    std::string text = "PRT2\n4\n3\n1\n3 0 1 (0 0 0) (8 0 0) (8 8 0)\n";
    std::string path = WriteTempFile("level.prt", Bytes(text.begin(), text.end()));
    EXPECT_EQ(ReadOverlayFile(OVERLAY_PORTALS, path.c_str(), &overlay, message, sizeof message), OVERLAY_WHOLE);
    EXPECT_EQ(overlay.pointCount, 3);
    std::string missing = MissingTempPath("gone.pts");
    EXPECT_EQ(ReadOverlayFile(OVERLAY_LEAK, missing.c_str(), &overlay, message, sizeof message), OVERLAY_ABSENT);
    EXPECT_EQ(std::string(message), "Leak trace: can't open file: " + missing);
    EXPECT_EQ(overlay.pointCount, 0) << "what was held before is let go";
    EXPECT_EQ(recording.liveBlocks, 0) << "the file's text and the tables are freed";
}

// An overlay's point lands exactly where a vertex at the same place does,
// in every view, and points beyond the level land beyond the extent.
TEST_F(Overlays, PointsAreDrawnByTheVerticesRules) {
    std::vector<Vertex> vertices = {{-64, -32, 0}, {192, 96, 40}, {10.75f, -31.5f, 20}, {0.1f, 0.2f, 0.3f}};
    ChooseFile(WriteTempFile("level.bsp", LevelBytes(vertices, {{0, 1}, {1, 2}, {2, 3}, {3, 0}})));
    ASSERT_EQ(LoadBspFile(RecordingWindow()), 1);
    std::vector<Vertex> points = vertices;
    points.push_back(vertices[0]);
    int32_t portalEnds[] = {4}, traceEnds[] = {5};
    Overlay portal = {points.data(), 4, portalEnds, 1, 1};
    Overlay trace = {points.data(), 5, traceEnds, 1, 0};
    auto lines = [] {
        std::string text;
        for (const RecordedCall &c : recording.calls)
            if (c.op == "move" || c.op == "line") text += c.op + " " + std::to_string(c.a) + " " + std::to_string(c.b) + "\n";
        return text;
    };
    for (int view = IDM_VIEW_XY; view <= IDM_VIEW_3DZ; view++) {
        recording.calls.clear();
        DrawView(RecordingWindow(), RecordingDC(), view);
        std::string level = lines();
        recording.calls.clear();
        DrawOverlay(RecordingWindow(), RecordingDC(), view, &portal);
        EXPECT_EQ(lines(), level) << "a closed path is the level's loop of edges, view " << view;
        recording.calls.clear();
        DrawOverlay(RecordingWindow(), RecordingDC(), view, &trace);
        EXPECT_EQ(lines(), level) << "an open path of the same points back to the first, view " << view;
    }
    // (-100, 200, 0): 36 units left of the level and 104 above it.
    Vertex outside[] = {{-100, 200, 0}, {-64, -32, 0}};
    int32_t two[] = {2};
    Overlay beyond = {outside, 2, two, 1, 0};
    recording.calls.clear();
    DrawOverlay(RecordingWindow(), RecordingDC(), IDM_VIEW_XY, &beyond);
    ASSERT_EQ(recording.calls.size(), 2u) << "no extent of its own: the level's paint sets them";
    EXPECT_EQ(recording.calls[0].a, -100 + 64 + 10);
    EXPECT_EQ(recording.calls[0].b, (96 + 32) - (200 + 32) + 10);
}

}  // namespace
