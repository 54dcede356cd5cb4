// The level designer's loop of the Linux program: the shown level read
// again (from a file, or the same row of an archive), failures that keep
// the last good level, the overlays beside it, and the status bar's text.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "map/level_reader.h"
#include "map/load_report.h"
#include "map/model.h"
#include "res/resource.h"
#include "shell/reload.h"
#include "shell/shell.h"
#include "shell/status.h"
#include "shell/zoom_pan.h"
#include "support/archive_tools.h"
#include "support/recording_backend.h"
#include "support/temp_files.h"
#include "tools/level_writer.h"
#include "view/views.h"

namespace {

// Two levels that draw differently, and one with the bounds of the views'
// worked example: X -64 to 192, Y -32 to 96, Z 0 to 40.
Bytes Square() { return LevelBytes({{0, 0, 0}, {64, 0, 0}, {64, 64, 16}, {0, 64, 16}}, {{0, 1}, {1, 2}, {2, 3}, {3, 0}}); }
Bytes Wedge() { return LevelBytes({{-16, 0, 0}, {128, 8, 0}, {0, 96, 48}}, {{0, 1}, {1, 2}, {2, 0}}); }
Bytes Example() {
    return LevelBytes({{-64, -32, 0}, {192, 96, 40}, {10.75f, -31.5f, 20}, {0, 0, 0}}, {{0, 1}, {1, 2}, {2, 3}, {3, 0}});
}
Bytes Text(const std::string &text) { return Bytes(text.begin(), text.end()); }

class Designer : public ::testing::Test {
protected:
    void SetUp() override { ResetRecording(); }
    void TearDown() override {
        FreeMapData();
        NoteOpenedLevel(w);  // no level: the overlays are let go too
        EXPECT_EQ(recording.liveBlocks, 0);
    }

    // Opens a file as a drop or FILE does, then as the program does after
    // every open.
    void Open(const std::string &path, const std::string &row = "") {
        recording.chooseName = row;
        OpenFileByName(w, path.c_str());
        NoteOpenedLevel(w);
    }

    // What the window draws of the level: all six views, and the part shown.
    std::string Drawn() {
        std::string text = SixViewsDrawn();
        recording.calls.clear();
        DrawViewPart(w, RecordingDC(), ViewMode, ShownViewRect());
        for (const RecordedCall &c : recording.calls) text += c.op + std::to_string(c.a) + "," + std::to_string(c.b) + " ";
        return text;
    }

    std::string DrawnAlone(const Bytes &level) {
        KeptLevel kept;
        SetLevelAside(&kept);
        ChooseFile(WriteTempFile("alone.bsp", level));
        LoadBspFile(w);
        std::string text = Drawn();
        PutLevelBack(&kept);
        EndLoad(LOAD_LOADED);
        return text;
    }

    std::string Status(int pointer = 0, int32_t px = 0, int32_t py = 0) {
        char text[256];
        FormatStatusText(w, pointer, px, py, text, sizeof text);
        return text;
    }

    PlatWindow *w = RecordingWindow();
};

TEST_F(Designer, ReloadReadsTheRewrittenLevelInTheSameViewAndPartWithItsOverlays) {
    std::string level = WriteTempFile("hall.bsp", Square());
    std::string trace = WriteTempFile("hall.pts", Text("0 0 0\n64 64 16\n"));
    WriteTempFile("hall.prt", Text("PRT1\n2\n1\n3 0 1 (0 0 0) (64 0 0) (64 64 0)\n"));
    std::remove((level.substr(0, level.size() - 4) + ".lin").c_str());
    Open(level);
    ASSERT_EQ(MapData.edgeCount, 4);
    EXPECT_NE(ShownOverlay(OVERLAY_LEAK), nullptr) << "a leak trace beside the level is shown";
    EXPECT_EQ(ShownOverlay(OVERLAY_PORTALS), nullptr) << "portals are hidden until asked for";
    EXPECT_EQ(recording.checks[IDM_SHOW_LEAK], 1);
    EXPECT_EQ(recording.checks[IDM_SHOW_PORTALS], 0);
    std::string stem = level.substr(0, level.size() - 4);
    EXPECT_EQ(WatchedFiles(), (std::vector<std::string>{level, stem + ".pts", stem + ".lin", stem + ".prt"}));

    OnCommand(w, IDM_VIEW_XZ);
    OnZoomKey(w, ZOOM_KEY_IN);
    OnDesignerCommand(w, IDM_SHOW_PORTALS);
    ViewRect zoomed = *ShownViewRect();
    uint32_t overlays = OverlayGeneration;

    // As a compiler does: the new level, the leak fixed (its trace
    // deleted), the portals written anew, one of them broken.
    WriteTempFile("hall.bsp", Wedge());
    std::remove(trace.c_str());
    WriteTempFile("hall.prt", Text("PRT1\n2\n2\n3 0 1 (0 0 0) (64 0 0) (64 64 0)\n3 0 1 (0 0 0)\n"));
    int repaints = recording.repaints;
    EXPECT_EQ(ReloadLevel(w), 1);
    EXPECT_TRUE(recording.messages.empty()) << "a reload shows no message box";
    EXPECT_GT(recording.repaints, repaints);
    EXPECT_EQ(ViewMode, IDM_VIEW_XZ);
    ASSERT_NE(ShownViewRect(), nullptr) << "the zoomed part is kept";
    EXPECT_EQ(ShownViewRect()->width, zoomed.width);
    EXPECT_EQ(Drawn(), DrawnAlone(Wedge()));
    EXPECT_EQ(ShownOverlay(OVERLAY_LEAK), nullptr) << "the deleted trace is gone";
    EXPECT_EQ(recording.checks[IDM_SHOW_LEAK], 0);
    ASSERT_NE(ShownOverlay(OVERLAY_PORTALS), nullptr) << "the portals stay shown, up to the broken line";
    EXPECT_EQ(ShownOverlay(OVERLAY_PORTALS)->pathCount, 1);
    EXPECT_NE(OverlayGeneration, overlays) << "the picture must be drawn again";
    EXPECT_EQ(DesignerMessages(),
              "Portals: line 5: expected as many points (x y z) as the portal's point count");
    EXPECT_FALSE(LevelIsStale());
}

TEST_F(Designer, AFailedReloadKeepsTheLastGoodLevelMarkedStaleUntilAGoodOne) {
    Bytes versionBelow28 = Square(), halfWritten = Square();
    PutI32(versionBelow28, 0, 27);
    halfWritten.resize(140);
    const std::string path = MissingTempPath("compiled.bsp");
    const struct {
        const char *what;
        Bytes bytes;  // empty: the file is deleted
        std::string message;
    } cases[] = {
        {"half written", halfWritten, "Error: Error Reading Vertices"},
        {"an old version", versionBelow28, "Error: Invalid BSP version! (should be >=0x1C )"},
        {"deleted", {}, "Can't open file: " + path},
    };
    for (const auto &c : cases) {
        WriteTempFile("compiled.bsp", Square());
        Open(path);
        std::string good = Drawn();
        if (c.bytes.empty()) std::remove(path.c_str());
        else WriteTempFile("compiled.bsp", c.bytes);
        EXPECT_EQ(ReloadLevel(w), 0) << c.what;
        EXPECT_TRUE(recording.messages.empty()) << c.what;
        EXPECT_EQ(Drawn(), good) << c.what << ": the last good level is drawn";
        EXPECT_TRUE(LevelIsStale()) << c.what;
        EXPECT_EQ(DesignerMessages(), c.message) << c.what;
        EXPECT_EQ(Status(), "stale: the last reload failed    4 vertices, 4 edges    zoom 1\u00d7") << c.what;

        WriteTempFile("compiled.bsp", Wedge());
        EXPECT_EQ(ReloadLevel(w), 1) << c.what;
        EXPECT_FALSE(LevelIsStale()) << c.what;
        EXPECT_EQ(DesignerMessages(), "") << c.what;
        EXPECT_EQ(MapData.edgeCount, 3) << c.what;
    }
}

TEST_F(Designer, AnArchiveRowIsReadAgainWithoutTheMapList) {
    const std::string nested = "mymod/pak0.pak/maps/b.bsp";
    auto zipOf = [](const Bytes &b, bool withB) {
        std::vector<ArchiveEntry> pak = {{"maps/a.bsp", Square()}};
        if (withB) pak.push_back({"maps/b.bsp", b});
        return MakeArchive(PYTHON_ZIP_DEFLATED, {{"start.bsp", Square()}, {"mymod/pak0.pak", ArchiveBytes(pak)}});
    };
    std::string zip = WriteTempFile("levels.zip", zipOf(Square(), true));
    std::string pak = WriteTempFile("levels.pak", ArchiveBytes({{"maps/a.bsp", Square()}, {"maps/b.bsp", Square()}}));
    const struct {
        std::string path, row;
        Bytes rewritten, rowGone;
    } archives[] = {
        {zip, nested, zipOf(Wedge(), true), zipOf(Wedge(), false)},
        {pak, "maps/b.bsp", ArchiveBytes({{"maps/a.bsp", Square()}, {"maps/b.bsp", Wedge()}}),
         ArchiveBytes({{"maps/a.bsp", Wedge()}})},
    };
    for (const auto &a : archives) {
        Open(a.path, a.row);
        ASSERT_EQ(MapData.edgeCount, 4) << a.path;
        int lists = recording.dialogRuns;
        std::string name = a.path.substr(a.path.rfind('/') + 1);
        WriteTempFile(name, a.rewritten);
        EXPECT_EQ(ReloadLevel(w), 1) << a.path;
        EXPECT_EQ(recording.dialogRuns, lists) << "no map list is shown";
        EXPECT_EQ(recording.titles.back(), "KORVITAN - " + a.row);
        EXPECT_EQ(Drawn(), DrawnAlone(Wedge())) << a.path;

        std::string good = Drawn();
        WriteTempFile(name, a.rowGone);
        EXPECT_EQ(ReloadLevel(w), 0) << a.path;
        EXPECT_EQ(DesignerMessages(), "Error: the archive no longer holds " + a.row);
        EXPECT_EQ(Drawn(), good) << a.path;
        EXPECT_TRUE(recording.messages.empty()) << a.path;
        EXPECT_EQ(WatchedFiles(), std::vector<std::string>{a.path}) << "no overlay is looked for beside an archive";
    }
}

TEST_F(Designer, OverlaysLoadedFromAnywhereAreShownAndReadAgain) {
    Open(WriteTempFile("plain.bsp", Square()));
    EXPECT_EQ(ShownOverlay(OVERLAY_LEAK), nullptr);
    std::string elsewhere = WriteTempFile("elsewhere.lin", Text("0 0 0\n8 8 8\n16 0 0\n"));
    recording.openAnswer = elsewhere;
    OnDesignerCommand(w, IDM_LOAD_LEAK);
    EXPECT_EQ(recording.openTitle, "Load Leak Trace");
    ASSERT_NE(ShownOverlay(OVERLAY_LEAK), nullptr);
    EXPECT_EQ(ShownOverlay(OVERLAY_LEAK)->pointCount, 3);
    EXPECT_EQ(recording.checks[IDM_SHOW_LEAK], 1);
    OnDesignerCommand(w, IDM_SHOW_LEAK);
    EXPECT_EQ(ShownOverlay(OVERLAY_LEAK), nullptr) << "View > Leak Trace hides it";
    OnDesignerCommand(w, IDM_SHOW_LEAK);
    WriteTempFile("elsewhere.lin", Text("0 0 0\n8 8 8\n"));
    ReloadLevel(w);
    EXPECT_EQ(ShownOverlay(OVERLAY_LEAK)->pointCount, 2) << "a reload reads the chosen file again";

    recording.openAnswer = MissingTempPath("nowhere.prt");
    OnDesignerCommand(w, IDM_LOAD_PORTALS);
    EXPECT_EQ(DesignerMessages(), "Portals: can't open file: " + recording.openAnswer);
    DismissDesignerMessages();
    EXPECT_EQ(DesignerMessages(), "");
}

// The point under the pointer by the inverse of the view's mapping (see
// shell/status.h), worked out by hand for the views' worked example at
// the recording window's 800 x 600: X-Y is 276 x 148 with its border,
// X-Z 256 x 40, Y-Z 128 x 40.
TEST_F(Designer, TheStatusBarGivesThePointUnderThePointerTheSizeAndTheZoom) {
    EXPECT_EQ(Status(1, 10, 10), "no level loaded");
    Open(WriteTempFile("example.bsp", Example()));
    const std::string size = "    4 vertices, 4 edges    zoom ";
    const struct {
        int view;
        int zoomIn;  // key presses of + first
        int pointer;
        int32_t px, py;
        std::string text;
    } cases[] = {
        {IDM_VIEW_XY, 0, 1, 0, 0, "X -74, Y 106" + size + "1\u00d7"},
        {IDM_VIEW_XY, 0, 1, 400, 300, "X 64, Y 32" + size + "1\u00d7"},     // logical (138, 74)
        {IDM_VIEW_XY, 0, 1, 799, 599, "X 202, Y -42" + size + "1\u00d7"},   // logical (276, 148)
        {IDM_VIEW_XZ, 0, 1, 200, 450, "X 0, Z 10" + size + "1\u00d7"},      // logical (64, 30)
        {IDM_VIEW_YZ, 0, 1, 100, 15, "Y -16, Z 39" + size + "1\u00d7"},     // logical (16, 1)
        {IDM_VIEW_3DZ, 0, 1, 100, 15, "4 vertices, 4 edges    zoom 1\u00d7"},
        {IDM_VIEW_XY, 0, 0, 100, 15, "4 vertices, 4 edges    zoom 1\u00d7"},
        // Zoomed about the centre to (69, 37, 138, 74): the centre stays.
        {IDM_VIEW_XY, 1, 1, 400, 300, "X 64, Y 32" + size + "2\u00d7"},
        {IDM_VIEW_XY, 1, 1, 0, 0, "X -5, Y 69" + size + "2\u00d7"},
        // Y-Z zoomed three times about the centre: (56, 17, 16, 5), 8 times
        // both ways; X-Z four times: 256 / 16 across, 40 / 2 up.
        {IDM_VIEW_YZ, 3, 1, 0, 0, "Y 24, Z 23" + size + "8\u00d7"},
        {IDM_VIEW_XZ, 4, 0, 0, 0, "4 vertices, 4 edges    zoom 16\u00d7, 20\u00d7"},
    };
    for (const auto &c : cases) {
        OnCommand(w, uint32_t(c.view));
        for (int k = 0; k < c.zoomIn; k++) OnZoomKey(w, ZOOM_KEY_IN);
        EXPECT_EQ(Status(c.pointer, c.px, c.py), c.text) << c.view << " at " << c.px << "," << c.py;
    }
}

}  // namespace
