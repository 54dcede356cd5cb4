// The shell: commands, check marks, the open-file flow, the map list and
// the paint cycle's busy cursor, as a user meets them.
#include <gtest/gtest.h>

#include "map/model.h"
#include "res/resource.h"
#include "shell/dialogs.h"
#include "shell/shell.h"
#include "tools/level_writer.h"
#include "support/recording_backend.h"
#include "support/temp_files.h"

namespace {

class Shell : public ::testing::Test {
protected:
    void SetUp() override { ResetRecording(); }
    void TearDown() override { FreeMapData(); }

    std::vector<int> Checked() {
        std::vector<int> out;
        for (auto [id, on] : recording.checks)
            if (on) out.push_back(id);
        return out;
    }

    std::string LevelFile(const char *name = "room.bsp") {
        return WriteTempFile(name, LevelBytes({{0, 0, 0}, {10, 20, 30}}, {{0, 1}}));
    }

    PlatWindow *w = RecordingWindow();
};

TEST_F(Shell, StartsInXYWithOnlyXYChecked) {
    OnCreate(w);
    EXPECT_EQ(ViewMode, IDM_VIEW_XY);
    EXPECT_EQ(Checked(), std::vector<int>{IDM_VIEW_XY});
    EXPECT_EQ(recording.checks.count(IDM_VIEW_3DY), 0u) << "3D (Y) and 3D (Z) are left as built";
}

TEST_F(Shell, ChoosingAViewMovesTheCheckAndRepaintsEveryTime) {
    OnCreate(w);
    EXPECT_EQ(OnCommand(w, IDM_VIEW_3DY), 1);
    EXPECT_EQ(ViewMode, IDM_VIEW_3DY);
    EXPECT_EQ(Checked(), std::vector<int>{IDM_VIEW_3DY});
    EXPECT_EQ(recording.repaints, 1);
    EXPECT_EQ(OnCommand(w, IDM_VIEW_3DY), 1);
    EXPECT_EQ(recording.repaints, 2) << "choosing the current view repaints again";
    EXPECT_EQ(Checked(), std::vector<int>{IDM_VIEW_3DY});
}

TEST_F(Shell, CommandsOutsideTheTableGoToDefaultProcessing) {
    OnCreate(w);
    for (uint32_t command : {0u, 99u, 104u, 111u, 0xFFFFFFFFu, 0x10000u | IDM_VIEW_3DZ,
                             0x10000u | IDM_EXIT, 0x80000000u | IDM_ABOUT}) {
        EXPECT_EQ(OnCommand(w, command), 0) << command;
    }
    EXPECT_EQ(ViewMode, IDM_VIEW_XY);
    EXPECT_EQ(recording.repaints, 0);
    EXPECT_FALSE(recording.destroyed);
    EXPECT_EQ(recording.aboutRuns, 0);
    EXPECT_EQ(recording.openDialogs, 0);
}

TEST_F(Shell, ExitDestroysTheWindowWhichReleasesTheLevelAndQuitsWithZero) {
    recording.openAnswer = LevelFile();
    OnCommand(w, IDM_OPENBSP);
    ASSERT_EQ(MapData.edgeCount, 1);
    EXPECT_EQ(OnCommand(w, IDM_EXIT), 1);
    EXPECT_TRUE(recording.destroyed);
    EXPECT_EQ(recording.quitCode, 0);
    EXPECT_EQ(MapData.edges, nullptr);
    EXPECT_EQ(recording.liveBlocks, 0);
}

TEST_F(Shell, AboutRunsTheAboutBoxWhichClosesWithOne) {
    EXPECT_EQ(OnCommand(w, IDM_ABOUT), 1);
    EXPECT_EQ(recording.aboutRuns, 1);
    EXPECT_EQ(recording.dialogResult, 1);
}

TEST_F(Shell, OpenAsksWithTheCommandsFilterAndLoadsTheChosenFile) {
    std::string path = LevelFile();
    recording.openAnswer = path;
    EXPECT_EQ(OnCommand(w, IDM_OPENBSP), 1);
    EXPECT_EQ(recording.openFilter, std::string("*.BSP files (*.BSP)\0*.BSP\0\0", 27));
    EXPECT_EQ(recording.openTitle, "Select file to Open");
    EXPECT_EQ(recording.openPrefilled, "") << "the first choice of a run starts empty";
    EXPECT_EQ(std::string(fileName), path);
    EXPECT_EQ(recording.titles.back(), "KORVITAN - " + path);
    EXPECT_EQ(MapData.edgeCount, 1);

    recording.openAnswer = "";
    OnCommand(w, IDM_OPENPAK);
    EXPECT_EQ(recording.openFilter, std::string("*.PAK files (*.PAK)\0*.PAK\0\0", 27));
    EXPECT_EQ(recording.openPrefilled, path) << "later choices start from the last path";
}

TEST_F(Shell, CancelReleasesTheLevelButKeepsTitleAndAsksNoRepaint) {
    recording.openAnswer = LevelFile();
    OnCommand(w, IDM_OPENBSP);
    size_t titles = recording.titles.size();
    int repaints = recording.repaints;
    recording.openAnswer = "";
    OnCommand(w, IDM_OPENBSP);
    EXPECT_EQ(MapData.edgeCount, 0) << "released before the dialog, whatever the answer";
    EXPECT_EQ(recording.titles.size(), titles);
    EXPECT_EQ(recording.repaints, repaints);

    recording.calls.clear();
    OnPaint(w);
    for (const RecordedCall &call : recording.calls) EXPECT_NE(call.op, "line");
}

TEST_F(Shell, AFailedLoadStillPrefillsTheNextChoice) {
    std::string missing = MissingTempPath("lost.bsp");
    recording.openAnswer = missing;
    OnCommand(w, IDM_OPENBSP);
    ASSERT_EQ(recording.messages.size(), 1u);
    EXPECT_EQ(recording.messages[0].caption, "Can't open file:");
    recording.openAnswer = "";
    OnCommand(w, IDM_OPENBSP);
    EXPECT_EQ(recording.openPrefilled, missing);
}

TEST_F(Shell, LongPathsAreChosenWholeAndTitledWhole) {
    std::string path = LevelFile((std::string(180, 'd') + ".bsp").c_str());
    ASSERT_GE(path.size(), 60u);
    recording.openAnswer = path;
    OnCommand(w, IDM_OPENBSP);
    EXPECT_EQ(std::string(fileName), path);
    EXPECT_EQ(recording.titles.back(), "KORVITAN - " + path);
}

TEST_F(Shell, AnyFileReachesTheLoaderWhicheverCommandChoseIt) {
    recording.openAnswer = LevelFile();
    OnCommand(w, IDM_OPENPAK);
    ASSERT_EQ(recording.messages.size(), 1u);
    EXPECT_EQ(recording.messages[0].text, "File is not a .PAK file");
}

TEST_F(Shell, AHandedPathGoesToTheArchiveLoaderByItsEndingInAnyCase) {
    std::string archive = WriteTempFile(
        "levels.PaK", ArchiveBytes({{"maps/a.bsp", LevelBytes({{1, 1, 1}, {2, 3, 4}}, {{0, 1}})}}));
    recording.chooseRow = 0;
    OpenFileByName(w, archive.c_str());
    EXPECT_EQ(recording.dialogRuns, 1);
    EXPECT_EQ(recording.titles.back(), "KORVITAN - maps/a.bsp");
    EXPECT_EQ(std::string(fileName), archive) << "the next File > Open starts from it";
    EXPECT_EQ(recording.openDialogs, 0) << "nobody is asked for a file";
}

TEST_F(Shell, AHandedPathTooLongIsRefusedWholeAndNothingElseOpens) {
    std::string level = LevelFile();
    OpenFileByName(w, level.c_str());
    ASSERT_EQ(MapData.edgeCount, 1);
    std::string tooLong = level + std::string(FILE_NAME_SIZE, '/');
    OpenFileByName(w, tooLong.c_str());
    ASSERT_EQ(recording.messages.size(), 1u);
    EXPECT_EQ(recording.messages[0].caption, "Can't open file:");
    EXPECT_EQ(recording.messages[0].text, tooLong);
    EXPECT_EQ(MapData.edges, nullptr) << "the shown level is let go, as before any choice";
    EXPECT_EQ(std::string(fileName), level);
}

TEST_F(Shell, MapListOkTakesTheSelectedRowWhole) {
    recording.openAnswer = WriteTempFile(
        "a.pak", ArchiveBytes({{"maps/a.bsp", LevelBytes({{1, 1, 1}}, {})},
                               {"maps/b.bsp", LevelBytes({{2, 2, 2}}, {})}}));
    recording.chooseRow = 1;
    OnCommand(w, IDM_OPENPAK);
    EXPECT_EQ(std::string(selectedMapName), "maps/b.bsp");
    EXPECT_EQ(recording.dialogResult, 1);
    EXPECT_EQ(recording.titles.back(), "KORVITAN - maps/b.bsp");
}

TEST_F(Shell, MapListOkWithoutARowOrCancelChoosesNothing) {
    recording.openAnswer = WriteTempFile(
        "a.pak", ArchiveBytes({{"maps/a.bsp", LevelBytes({{1, 1, 1}}, {})}}));
    recording.okWithoutRow = true;
    OnCommand(w, IDM_OPENPAK);
    EXPECT_EQ(selectedMapName[0], '\0');
    EXPECT_EQ(recording.dialogResult, 1);
    EXPECT_TRUE(recording.titles.empty());

    recording.okWithoutRow = false;
    recording.chooseName = "";
    OnCommand(w, IDM_OPENPAK);
    EXPECT_EQ(selectedMapName[0], '\0');
    EXPECT_EQ(recording.dialogResult, 1);
}

TEST_F(Shell, MapListStartsEmptyEveryTimeAndIgnoresOtherControls) {
    recording.openAnswer = WriteTempFile(
        "a.pak", ArchiveBytes({{"maps/a.bsp", LevelBytes({{1, 1, 1}}, {})}}));
    recording.chooseRow = 0;
    OnCommand(w, IDM_OPENPAK);
    ASSERT_EQ(std::string(selectedMapName), "maps/a.bsp");
    recording.chooseRow = -1;
    recording.chooseName = "";
    OnCommand(w, IDM_OPENPAK);
    EXPECT_EQ(selectedMapName[0], '\0') << "the previous choice is not kept";
    EXPECT_EQ(recording.offeredRows, std::vector<std::string>{"maps/a.bsp"});

    // A double-click or a selection change in the list does not end it.
    EXPECT_EQ(MapSelectCommand(nullptr, IDC_MAPLIST), 0);
    EXPECT_EQ(AboutCommand(nullptr, IDC_MAPLIST), 0);
}

TEST_F(Shell, PaintDrawsTheCurrentViewInsideTheBusyCursor) {
    recording.openAnswer = LevelFile();
    OnCommand(w, IDM_OPENBSP);
    OnCommand(w, IDM_VIEW_YZ);
    recording.events.clear();
    recording.calls.clear();
    OnPaint(w);
    std::vector<std::string> expected = {"wait cursor", "begin paint", "end paint", "cursor 1"};
    EXPECT_EQ(recording.events, expected);
    ASSERT_EQ(recording.calls.size(), 5u);
    EXPECT_EQ(recording.calls[2].a, 20) << "Y-Z: W is the Y range";
    EXPECT_EQ(recording.calls[2].b, 30) << "Y-Z: H is the Z range";
    EXPECT_EQ(recording.showCount, 0);
    EXPECT_EQ(recording.savedCursor, 0) << "the property is gone after the paint";
}

// A paint that starts while an earlier paint's wait cursor is up (the arrow
// saved on the window, the show count raised) keeps the saved arrow.
TEST_F(Shell, NestedPaintKeepsTheFirstSavedCursor) {
    recording.savedCursor = 1;
    recording.cursor = 99;
    recording.showCount = 1;
    OnPaint(w);
    std::vector<std::string> expected = {"begin paint", "end paint", "cursor 1"};
    EXPECT_EQ(recording.events, expected) << "not the wait cursor saved over the arrow";
    EXPECT_EQ(recording.showCount, 0);
    EXPECT_EQ(recording.savedCursor, 0);
}

TEST_F(Shell, WithNoCursorBeforeThePaintNothingIsRestored) {
    recording.cursor = 0;
    OnPaint(w);
    EXPECT_EQ(recording.savedCursor, 0);
    EXPECT_EQ(recording.cursor, 99) << "nothing to restore";
    EXPECT_EQ(recording.showCount, 1) << "and the show count is not lowered";
}

// The desktop window keeps its picture while the model generation stays
// the same, so every change of what a paint would draw must move it: a
// load, also past a paint during the map list (the window is repainted
// while the list is up), the release before an open-file choice (kept by a
// cancel), a failed load. A paint or a view change leaves the model alone.
TEST_F(Shell, EveryChangeOfTheLevelMovesTheModelGeneration) {
    uint32_t seen = MapGeneration;
    auto moved = [&] {
        bool changed = MapGeneration != seen;
        seen = MapGeneration;
        return changed;
    };
    recording.openAnswer = WriteTempFile(
        "a.pak", ArchiveBytes({{"maps/a.bsp", LevelBytes({{0, 0, 0}, {10, 20, 30}}, {{0, 1}})}}));
    recording.chooseName = "maps/a.bsp";
    OnCommand(w, IDM_OPENPAK);
    ASSERT_EQ(MapData.edgeCount, 1);
    EXPECT_NE(MapGeneration, recording.dialogGeneration) << "the level came after the map list";
    EXPECT_TRUE(moved());
    OnPaint(w);
    OnCommand(w, IDM_VIEW_3DX);
    EXPECT_FALSE(moved()) << "a paint or a view change";
    recording.openAnswer = "";
    OnCommand(w, IDM_OPENBSP);
    EXPECT_TRUE(moved()) << "the release before a cancelled choice";
    recording.openAnswer = WriteTempFile("old.bsp", LevelBytes({{0, 0, 0}}, {}, 27));
    OnCommand(w, IDM_OPENBSP);
    EXPECT_TRUE(moved()) << "a refused level";
}

TEST_F(Shell, ResizeRepaintsTheWholeArea) {
    OnSize(w);
    EXPECT_EQ(recording.repaints, 1);
}

}  // namespace
