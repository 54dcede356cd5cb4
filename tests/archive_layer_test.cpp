// The archive layer of the Linux programs: the rows of ZIP and 7z archives
// and of archives inside them, levels read out of memory exactly as from a
// file of their own, and every hostile archive ended by one message. The
// archives are made by real tools (support/archive_tools.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "hostile_files.h"
#include "map/archive_kind.h"
#include "map/level_reader.h"
#include "map/load_report.h"
#include "map/model.h"
#include "res/resource.h"
#include "shell/shell.h"
#include "support/archive_tools.h"
#include "support/recording_backend.h"
#include "support/temp_files.h"
#include "system/memory_files.h"
#include "tools/demo_levels.h"
#include "tools/level_writer.h"

namespace {

Bytes DemoBytes() {
    Wireframe w = DemoLevel();
    return LevelBytes(w.vertices, w.edges);
}
Bytes TowerBytes() {
    Wireframe w = TowerLevel();
    return LevelBytes(w.vertices, w.edges);
}
Bytes HallsInVariant(LevelVariant variant) {
    Wireframe w = HallsLevel();
    return VariantLevelBytes(variant, w.vertices, WidenEdges(w.edges));
}
Bytes Triangle() { return LevelBytes({{0, 0, 0}, {64, 0, 8}, {0, 32, -16}}, {{0, 1}, {1, 2}, {2, 0}}); }

// With KORVITAN_SAVE_ARCHIVES set to a folder, every archive a test loads is
// written there too, as a seed of the chain fuzzer (fuzz/fuzz_chain.cpp):
// a first byte choosing the first row, then the archive.
void SaveAsSeed(const std::string &name, const Bytes &bytes) {
    static const char *folder = std::getenv("KORVITAN_SAVE_ARCHIVES");
    static int saved;
    if (!folder || !*folder) return;
    Bytes seed(bytes.size() + 1, 0);
    std::copy(bytes.begin(), bytes.end(), seed.begin() + 1);
    std::string path = std::string(folder) + "/" + std::to_string(++saved) + "-" + name;
    ASSERT_TRUE(WriteBytesToFile(path, seed)) << path;
}

class ArchiveLayer : public ::testing::Test {
protected:
    void SetUp() override {
        ResetRecording();
        descriptors = OpenDescriptorCount();
    }
    void TearDown() override { FreeMapData(); }

    // Loads the archive as "Open .PAK ..." does, answering the map list
    // with the row of that text ("" cancels).
    int32_t Load(const std::string &name, const Bytes &bytes, const std::string &row = "") {
        SaveAsSeed(name, bytes);
        std::string path = WriteTempFile(name, bytes);
        ChooseFile(path);
        recording.chooseName = row;
        return LoadArchiveFile(RecordingWindow());
    }

    // The same level loaded from a file of its own, for comparison.
    void LoadAlone(const Bytes &level) {
        ResetRecording();
        ChooseFile(WriteTempFile("alone.bsp", level));
        ASSERT_EQ(LoadBspFile(RecordingWindow()), 1);
    }

    // The level's own numbers and every drawing call of the six views.
    std::string Drawing() {
        return std::string(LastLevelFormat()) + " " + std::to_string(LastLevelVersion()) + "\n" + SixViewsDrawn();
    }

    // One message with the caption "Error" and the model released: no
    // file, no table, no block, no descriptor left behind.
    void ExpectFailedWith(const std::string &text) {
        ASSERT_EQ(recording.messages.size(), 1u);
        EXPECT_EQ(recording.messages[0].text, text);
        EXPECT_EQ(recording.messages[0].caption, "Error");
        EXPECT_EQ(LastLoadResult().status, LOAD_FAILED);
        EXPECT_EQ(LastLoadResult().text, text);
        ExpectNothingHeld();
    }

    void ExpectNothingHeld() {
        EXPECT_EQ(MapData.file, nullptr);
        EXPECT_EQ(MapData.vertices, nullptr);
        EXPECT_EQ(MapData.edges, nullptr);
        EXPECT_EQ(recording.liveBlocks, 0);
        EXPECT_EQ(OpenDescriptorCount(), descriptors);
    }

    int descriptors = -1;
};

// libarchive's own words come between the parentheses.
bool IsUnreadableArchiveMessage(const std::string &text) {
    const std::string head = "Can't read archive! (";
    return text.size() > head.size() + 1 && text.compare(0, head.size(), head) == 0 && text.back() == ')';
}

TEST_F(ArchiveLayer, RowsAreTheRegularBspFilesByWholePathInTheArchivesOrder) {
    const std::string accented = "maps/caf\xc3\xa9.bsp";  // UTF-8, read in the C locale
    std::vector<ToolEntry> entries = {
        {"zeta.bsp", Triangle()},          {"readme.txt", {'h', 'i'}},
        {"maps/dm3.bsp", Triangle()},      {"maps/notes.bsp.txt", {'x'}},
        {"mymod/maps/E1.BSP", Triangle()}, {accented, Triangle()},
        {"start.bsp", Triangle()},
    };
    std::vector<std::string> inOrder = {"zeta.bsp", "maps/dm3.bsp", "mymod/maps/E1.BSP", accented, "start.bsp"};
    // 7-Zip stores its entries sorted by path (and has no folder entries
    // of their own here).
    std::vector<std::string> sorted = inOrder;
    std::sort(sorted.begin(), sorted.end());
    // Folders are no rows, whatever their names; an empty file is one.
    std::vector<ToolEntry> withFolders = entries;
    withFolders.insert(withFolders.begin() + 2, {{"maps/", {}}, {"folder.bsp/", {}}, {"maps/tiny.bsp", {}}});
    inOrder.insert(inOrder.begin() + 1, "maps/tiny.bsp");

    const struct {
        ArchiveTool tool;
        const char *name;
        const std::vector<ToolEntry> &entries;
        const std::vector<std::string> &rows;
    } cases[] = {
        {PYTHON_ZIP_DEFLATED, "levels.zip", withFolders, inOrder},
        {ZIP_STORED, "levels.PK3", withFolders, inOrder},
        {SEVEN_ZIP, "levels.7z", entries, sorted},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(ToolName(c.tool));
        ResetRecording();
        EXPECT_EQ(Load(c.name, MakeArchive(c.tool, c.entries)), 0) << "cancelled";
        EXPECT_EQ(recording.offeredRows, c.rows);
        EXPECT_TRUE(recording.messages.empty());
        EXPECT_EQ(LastLoadResult().status, LOAD_NO_MAP);
        ExpectNothingHeld();
    }
}

// A 7z holding a ZIP holding a PAK, ZIPs nested four deep, and levels in
// several header layouts: each row names its chain, and each loads exactly
// the level that file holds, as if read alone.
TEST_F(ArchiveLayer, ArchivesInsideArchivesGiveEntrySlashRowRowsThatLoadLikeTheLevelAlone) {
    const Bytes demo = DemoBytes(), tower = TowerBytes(), qbsp = HallsInVariant(VARIANT_QBSP),
                vbsp = HallsInVariant(VARIANT_VBSP), triangle = Triangle();
    Bytes pak = ArchiveBytes({{"readme.txt", {'r'}},
                              {"maps/tower.bsp", tower},
                              {"inner.zip", MakeArchive(PYTHON_ZIP_DEFLATED, {{"never.bsp", demo}})},
                              {"maps/halls.bsp", vbsp}});
    Bytes fourth = MakeArchive(ZIP_DEFLATED, {{"too-deep.bsp", demo}});
    Bytes third = MakeArchive(ZIP_STORED, {{"deepest.zip", fourth}, {"third.bsp", qbsp}});
    Bytes second = MakeArchive(PYTHON_ZIP_DEFLATED, {{"deeper.zip", third}});
    Bytes levels = MakeArchive(PYTHON_ZIP_DEFLATED,
                               {{"maps/e1.bsp", demo}, {"mymod/pak0.PAK", pak}, {"deep.zip", second}});
    Bytes outer = MakeArchive(SEVEN_ZIP, {{"pack/levels.zip", levels}, {"pack/readme.txt", {'r'}}});

    const struct {
        std::string row;
        const Bytes &level;
    } rows[] = {
        {"pack/levels.zip/maps/e1.bsp", demo},
        {"pack/levels.zip/mymod/pak0.PAK/maps/tower.bsp", tower},
        {"pack/levels.zip/mymod/pak0.PAK/maps/halls.bsp", vbsp},
        {"pack/levels.zip/deep.zip/deeper.zip/third.bsp", qbsp},
    };
    std::vector<std::string> expected;
    for (const auto &r : rows) expected.push_back(r.row);
    EXPECT_EQ(Load("mod.7z", outer), 0);
    EXPECT_EQ(recording.offeredRows, expected);

    for (const auto &r : rows) {
        SCOPED_TRACE(r.row);
        LoadAlone(r.level);
        const std::string alone = Drawing();
        ResetRecording();
        ASSERT_EQ(Load("mod.7z", outer, r.row), 1);
        EXPECT_TRUE(recording.messages.empty());
        EXPECT_EQ(recording.titles.back(), "KORVITAN - " + r.row);
        EXPECT_EQ(Drawing(), alone);
        EXPECT_EQ(recording.liveBlocks, 2) << "the two tables; nothing inflated is kept";
        FreeMapData();
        EXPECT_EQ(OpenDescriptorCount(), descriptors);
    }
}

TEST_F(ArchiveLayer, NamesBeyondUtf8AreRowsByteForByteAndStillOpen) {
    const std::string odd = "maps/\xe9t\xe9 \xff.bsp";
    Bytes zip = MakeArchive(ZIP_DEFLATED, {{odd, DemoBytes()}});
    ASSERT_EQ(Load("odd.zip", zip, odd), 1);
    EXPECT_EQ(recording.offeredRows, std::vector<std::string>{odd});
    EXPECT_EQ(recording.titles.back(), "KORVITAN - " + odd);
}

// Each hostile archive: one message, the archive's failure path (message
// first, the model released), nothing held; and the next load works.
TEST_F(ArchiveLayer, HostileArchivesEndWithOneMessageAndNothingHeld) {
    const Bytes level = Triangle();
    Bytes deflated = MakeArchive(PYTHON_ZIP_DEFLATED, {{"maps/a.bsp", DemoBytes()}});
    Bytes damaged = deflated;
    for (size_t i = 60; i < 200; i++) damaged[i] ^= 0x5A;  // inside the deflated data
    Bytes badPak = ArchiveBytes({{"maps/a.bsp", level}});
    PutU32(badPak, PAK_DIR_LENGTH_AT, 640);
    Bytes random(3000);
    for (size_t i = 0; i < random.size(); i++) random[i] = uint8_t(i * 7919 >> 3);

    const char *UNREADABLE = "";  // libarchive's words, see IsUnreadableArchiveMessage
    const struct {
        const char *what;
        std::string name;
        Bytes bytes;
        std::string row;  // chosen; "" when listing must fail already
        std::string message;
    } cases[] = {
        {"not an archive, by its name", "garbage.pk3", random, "", UNREADABLE},
        {"damaged deflated data", "damaged.zip", damaged, "maps/a.bsp", UNREADABLE},
        {"a ZIP cut short", "cut.zip", Bytes(deflated.begin(), deflated.begin() + 90), "", UNREADABLE},
        {"encrypted ZIP entry", "secret.zip", MakeArchive(ZIP_ENCRYPTED, {{"maps/a.bsp", level}}), "maps/a.bsp",
         "Encrypted archive entry!"},
        {"encrypted 7z entry", "secret.7z", MakeArchive(SEVEN_ZIP_ENCRYPTED, {{"maps/a.bsp", level}}),
         "maps/a.bsp", "Encrypted archive entry!"},
        {"an archive inside, encrypted", "outer.zip",
         MakeArchive(ZIP_ENCRYPTED, {{"inner.zip", MakeArchive(ZIP_DEFLATED, {{"a.bsp", level}})}}), "",
         "Encrypted archive entry!"},
        {"declares more than 1 GiB", "big.zip", MakeBomb(3ull << 30, 1024), "maps/bomb.bsp",
         "Archive entry too large!"},
        {"inflates past what it declares", "bomb.zip", MakeBomb(1024, 1 << 20), "maps/bomb.bsp",
         "Archive entry too large!"},
        {"a PAK inside whose directory is cut", "pak.zip", MakeArchive(ZIP_STORED, {{"pak0.pak", badPak}}), "",
         "Can't read archive! (Error Reading DirList)"},
        {"a .pak inside that is none", "pak.zip", MakeArchive(ZIP_STORED, {{"pak0.pak", random}}), "",
         "Can't read archive! (File is not a .PAK file)"},
        {"a .zip inside that is none", "nested.zip", MakeArchive(ZIP_STORED, {{"inner.zip", random}}), "",
         UNREADABLE},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ResetRecording();
        EXPECT_EQ(Load(c.name, c.bytes, c.row), 0);
        EXPECT_EQ(recording.dialogRuns, c.row.empty() ? 0 : 1);
        ASSERT_EQ(recording.messages.size(), 1u);
        const std::string text = recording.messages[0].text;
        if (c.message == UNREADABLE) EXPECT_TRUE(IsUnreadableArchiveMessage(text)) << text;
        else EXPECT_EQ(text, c.message);
        EXPECT_TRUE(recording.messages[0].fileOpen) << "the message comes before the release";
        ExpectFailedWith(text);
    }
    ResetRecording();
    EXPECT_EQ(Load("good.zip", deflated, "maps/a.bsp"), 1) << "the program goes on working";
}

// A file handed in (a command line, a drop) is an archive by the ending of
// its name or by its first bytes; "Open .PAK ..." keeps the PAK reader's
// words for a file that is no archive at all.
TEST_F(ArchiveLayer, AHandedFileIsAnArchiveByItsNameOrItsFirstBytes) {
    Bytes zip = MakeArchive(PYTHON_ZIP_STORED, {{"maps/a.bsp", Triangle()}});
    Bytes pak = ArchiveBytes({{"maps/a.bsp", Triangle()}});
    const Bytes emptyZip = {'P', 'K', 5, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const struct {
        std::string name;
        Bytes bytes;
        int mapLists;                   // how often the map list ran
        std::vector<std::string> rows;  // what it offered
        const char *message;            // the one message, or null
    } cases[] = {
        {"levels.zip", zip, 1, {"maps/a.bsp"}, nullptr},
        {"levels.dat", zip, 1, {"maps/a.bsp"}, nullptr},
        {"levels.bsp", pak, 1, {"maps/a.bsp"}, nullptr},
        {"empty", emptyZip, 1, {}, nullptr},
        {"level.bsp", Triangle(), 0, {}, nullptr},
        {"level.RAR", Triangle(), 0, {}, "Can't read archive! (Unrecognized archive format)"},
        {"level.pak", Triangle(), 0, {}, "File is not a .PAK file"},
    };
    PlatWindow *w = RecordingWindow();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ResetRecording();
        OpenFileByName(w, WriteTempFile(c.name, c.bytes).c_str());
        EXPECT_EQ(recording.dialogRuns, c.mapLists);
        EXPECT_EQ(recording.offeredRows, c.rows);
        if (c.message) {
            ASSERT_EQ(recording.messages.size(), 1u);
            EXPECT_EQ(recording.messages[0].text, c.message);
        } else {
            EXPECT_TRUE(recording.messages.empty());
        }
    }
    ResetRecording();
    recording.openAnswer = WriteTempFile("level.bsp", Triangle());
    OnCommand(w, IDM_OPENPAK);
    ASSERT_EQ(recording.messages.size(), 1u);
    EXPECT_EQ(recording.messages[0].text, "File is not a .PAK file");
}

// A block of memory named as a file reads exactly as the file: the same
// messages, titles, repaints and tables for every hostile level.
TEST(MemoryFiles, ANamedBlockLoadsAsTheFileOfThatName) {
    for (const HostileFile &f : HostileLevels()) {
        SCOPED_TRACE(f.name);
        ResetRecording();
        std::string path = WriteTempFile(f.name + ".bsp", f.bytes);
        ChooseFile(path);
        EXPECT_EQ(LoadBspFile(RecordingWindow()), f.loads ? 1 : 0);
        const std::vector<std::string> fromDisk = recording.events;
        const uint64_t allocated = recording.bytesAllocated;
        const int32_t edges = MapData.edgeCount;

        ResetRecording();
        ASSERT_TRUE(NameMemoryFile(path.c_str(), f.bytes.data(), f.bytes.size()));
        std::remove(path.c_str());  // only the block is left to read
        ChooseFile(path);
        EXPECT_EQ(LoadBspFile(RecordingWindow()), f.loads ? 1 : 0);
        EXPECT_EQ(recording.events, fromDisk);
        EXPECT_EQ(recording.bytesAllocated, allocated);
        EXPECT_EQ(MapData.edgeCount, edges);
        ForgetMemoryFile(path.c_str());
        FreeMapData();
        ChooseFile(path);
        EXPECT_EQ(LoadBspFile(RecordingWindow()), 0) << "forgotten, the name is a missing file again";
    }
}

}  // namespace
