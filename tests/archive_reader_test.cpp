// Loading a level out of an archive: the map list, the lookup of the chosen
// name, and every way the load can end.
#include <gtest/gtest.h>

#include <cstring>

#include "map/archive_reader.h"
#include "map/level_reader.h"
#include "map/load_report.h"
#include "map/model.h"
#include "tools/level_writer.h"
#include "support/recording_backend.h"
#include "support/temp_files.h"

namespace {

// A level whose single vertex carries a marker, so a test can tell which
// entry was loaded.
Bytes MarkedLevel(float marker, int32_t version = 29) {
    return LevelBytes({{marker, 0, 0}, {marker + 1, 2, 3}}, {{0, 1}}, version);
}

class ArchiveReader : public ::testing::Test {
protected:
    void SetUp() override { ResetRecording(); }
    void TearDown() override { FreeMapData(); }

    int32_t Load(const Bytes &bytes) {
        path = WriteTempFile("archive.pak", bytes);
        ChooseFile(path);
        return LoadPakFile(RecordingWindow());
    }

    // The one message of a failed load, and the result the loader leaves.
    // A read that finds less than the file claims releases the model before
    // its message; every other failure shows its message first.
    void ExpectOneError(const char *text, bool releasedFirst = false) {
        ASSERT_EQ(recording.messages.size(), 1u);
        EXPECT_EQ(recording.messages[0].text, text);
        EXPECT_EQ(recording.messages[0].caption, "Error");
        EXPECT_EQ(recording.messages[0].fileOpen, !releasedFirst) << text;
        EXPECT_TRUE(recording.messages[0].modelWhole) << "a count stood without its table";
        EXPECT_EQ(recording.messages[0].linesBehind, 0) << "the paint behind the message drew a level";
        LoadResult result = LastLoadResult();
        EXPECT_EQ(result.status, LOAD_FAILED);
        EXPECT_STREQ(result.text, text);
        EXPECT_STREQ(result.caption, "Error");
    }

    // After a failure that releases everything.
    void ExpectReleased() {
        EXPECT_EQ(MapData.file, nullptr);
        EXPECT_EQ(MapData.dirList, nullptr);
        EXPECT_EQ(MapData.dirCount, 0);
        EXPECT_EQ(MapData.vertices, nullptr);
        EXPECT_EQ(MapData.edges, nullptr);
        EXPECT_EQ(recording.liveBlocks, 0);
        EXPECT_EQ(recording.dialogRuns, 0);
    }

    std::string path;
};

TEST_F(ArchiveReader, OffersOnlyNamesBeginningWithMapsSlashInDirectoryOrder) {
    recording.chooseName = "";
    Load(ArchiveBytes({{"maps/zeta.bsp", MarkedLevel(1)},
                       {"Maps/upper.bsp", MarkedLevel(2)},
                       {"maps_other.bsp", MarkedLevel(3)},
                       {"maps", {}},
                       {"readme.txt", {'h', 'i'}},
                       {"maps/", {}},
                       {"maps/alpha.bsp", MarkedLevel(4)},
                       {"maps/alpha.bsp", MarkedLevel(5)}}));
    std::vector<std::string> expected = {"maps/zeta.bsp", "maps/", "maps/alpha.bsp",
                                         "maps/alpha.bsp"};
    EXPECT_EQ(recording.offeredRows, expected);
}

TEST_F(ArchiveReader, LoadsTheChosenEntryAtItsPosition) {
    std::vector<ArchiveEntry> entries = {{"readme.txt", Bytes(300, 'x')},
                                         {"maps/one.bsp", MarkedLevel(10)},
                                         {"maps/two.bsp", MarkedLevel(20)}};
    recording.chooseName = "maps/two.bsp";
    EXPECT_EQ(Load(ArchiveBytes(entries)), 1);
    EXPECT_TRUE(recording.messages.empty());
    ASSERT_EQ(MapData.vertexCount, 2);
    EXPECT_EQ(MapData.vertices[0].x, 20.0f);
    EXPECT_EQ(MapBounds.maxZ, 3.0f);
    EXPECT_EQ(MapData.file, nullptr);
    EXPECT_EQ(MapData.dirCount, 3) << "the directory stays while the level is shown";
    std::vector<std::string> expected = {"dialog", "title KORVITAN - maps/two.bsp",
                                         "title KORVITAN - maps/two.bsp", "repaint"};
    EXPECT_EQ(recording.events, expected);
    EXPECT_EQ(LastLoadResult().status, LOAD_LOADED);
}

TEST_F(ArchiveReader, LumpOffsetsCountFromTheEntryPosition) {
    // The entry starts at 300; its vertex lump says 200: read from 500.
    Bytes level(400, 0xEE);
    Bytes header = LevelBytes({}, {});
    std::copy(header.begin(), header.end(), level.begin());
    PutI32(level, LEVEL_VERTEX_OFFSET_AT, 200);
    PutU32(level, LEVEL_VERTEX_LENGTH_AT, 12);
    Vertex marker = {7.5f, -8.5f, 9.5f};
    std::memcpy(&level[200], &marker, sizeof marker);
    std::vector<ArchiveEntry> entries = {{"pad", Bytes(288, 0)}, {"maps/x.bsp", level}};
    ASSERT_EQ(ArchiveEntryPosition(entries, 1), 300);
    recording.chooseName = "maps/x.bsp";
    EXPECT_EQ(Load(ArchiveBytes(entries)), 1);
    EXPECT_EQ(MapData.vertices[0].y, -8.5f);
}

TEST_F(ArchiveReader, ChoosingANameLoadsThatNameNotALongerOne) {
    recording.chooseName = "maps/hall.bsp";
    Load(ArchiveBytes({{"maps/hall.bsp.old", MarkedLevel(1)},
                       {"maps/hall.bsp", MarkedLevel(2)}}));
    EXPECT_EQ(MapData.vertices[0].x, 2.0f);
    EXPECT_EQ(recording.titles.back(), "KORVITAN - maps/hall.bsp");
}

TEST_F(ArchiveReader, OfTwoEqualNamesTheFirstIsLoadedWhicheverRowIsChosen) {
    recording.chooseRow = 1;
    Load(ArchiveBytes({{"maps/same.bsp", MarkedLevel(1)}, {"maps/same.bsp", MarkedLevel(2)}}));
    EXPECT_EQ(MapData.vertices[0].x, 1.0f);
}

TEST_F(ArchiveReader, NameFillingAllItsBytesIsListedAndFoundAsItsFirst55) {
    std::string full = "maps/" + std::string(51, 'q');  // 56 bytes, no terminator
    ASSERT_EQ(full.size(), 56u);
    recording.chooseRow = 0;
    EXPECT_EQ(Load(ArchiveBytes({{full, MarkedLevel(4)}})), 1);
    ASSERT_EQ(recording.offeredRows.size(), 1u);
    EXPECT_EQ(recording.offeredRows[0], full.substr(0, 55));
    EXPECT_EQ(std::string(selectedMapName), full.substr(0, 55));
    EXPECT_EQ(MapData.vertices[0].x, 4.0f);
}

TEST_F(ArchiveReader, NoMapChosenKeepsTheDirectoryAndTheTitle) {
    recording.chooseName = "";
    EXPECT_EQ(Load(ArchiveBytes({{"maps/a.bsp", MarkedLevel(1)}})), 0);
    EXPECT_EQ(LastLoadResult().status, LOAD_NO_MAP);
    EXPECT_TRUE(recording.messages.empty());
    EXPECT_TRUE(recording.titles.empty());
    EXPECT_EQ(recording.repaints, 0);
    EXPECT_EQ(MapData.file, nullptr);
    EXPECT_EQ(MapData.dirCount, 1);
    EXPECT_EQ(MapData.vertices, nullptr);
    EXPECT_EQ(MapData.edgeCount, 0);
}

TEST_F(ArchiveReader, EmptyDirectoryIsNoErrorAndOffersNothing) {
    Bytes bytes = ArchiveBytes({});
    PutI32(bytes, PAK_DIR_OFFSET_AT, -77);  // no bytes to read, so no matter where
    recording.chooseRow = 0;
    EXPECT_EQ(Load(bytes), 0);
    EXPECT_TRUE(recording.messages.empty());
    EXPECT_EQ(recording.dialogRuns, 1);
    EXPECT_TRUE(recording.offeredRows.empty());
    EXPECT_EQ(selectedMapName[0], '\0');
    EXPECT_EQ(MapData.file, nullptr);
}

TEST_F(ArchiveReader, DirectoryOf100BytesHoldsOneEntryAndReadsAll100) {
    Bytes bytes = ArchiveBytes({{"maps/a.bsp", MarkedLevel(1)}});
    bytes.resize(bytes.size() + 36, 0);
    PutU32(bytes, PAK_DIR_LENGTH_AT, 100);
    recording.chooseName = "maps/a.bsp";
    EXPECT_EQ(Load(bytes), 1);
    EXPECT_EQ(MapData.dirCount, 1);
    EXPECT_EQ(recording.bytesAllocated, 100u + 24u + 4u);
}

TEST_F(ArchiveReader, MissingArchiveShowsItsPath) {
    std::string missing = MissingTempPath("gone.pak");
    ChooseFile(missing);
    EXPECT_EQ(LoadPakFile(RecordingWindow()), 0);
    ASSERT_EQ(recording.messages.size(), 1u);
    EXPECT_EQ(recording.messages[0].text, missing);
    EXPECT_EQ(recording.messages[0].caption, "Can't open file:");
    EXPECT_TRUE(recording.titles.empty());
    EXPECT_EQ(recording.repaints, 0);
    ExpectReleased();
}

TEST_F(ArchiveReader, ShortHeaderIsRefused) {
    for (size_t size : {size_t(0), size_t(4), size_t(11)}) {
        ResetRecording();
        Bytes bytes = ArchiveBytes({});
        bytes.resize(size);
        EXPECT_EQ(Load(bytes), 0);
        ExpectOneError("Error Reading PakHdr");
        EXPECT_TRUE(recording.titles.empty());
        EXPECT_EQ(recording.repaints, 0);
        ExpectReleased();
    }
}

TEST_F(ArchiveReader, AnythingButPACKIsNotAnArchive) {
    for (const char *magic : {"pack", "PACk", "KCAP", "\0\0\0\0"}) {
        ResetRecording();
        Bytes bytes = ArchiveBytes({{"maps/a.bsp", MarkedLevel(1)}});
        std::memcpy(bytes.data(), magic, 4);
        EXPECT_EQ(Load(bytes), 0);
        ExpectOneError("File is not a .PAK file");
        EXPECT_TRUE(recording.titles.empty());
        ExpectReleased();
    }
}

TEST_F(ArchiveReader, DirectoryOutsideTheFileIsRefusedBeforeAllocating) {
    struct Case {
        int32_t offset;
        uint32_t length;
    } cases[] = {{-64, 64}, {12, 0xFFFFFFFFu}, {0x7FFFFFC0, 64}, {164, 65}};
    for (const Case &c : cases) {
        ResetRecording();
        Bytes bytes = ArchiveBytes({{"maps/a.bsp", MarkedLevel(1)}});
        ASSERT_EQ(bytes.size(), 164u + 64u) << "the last case runs one byte past the end";
        PutI32(bytes, PAK_DIR_OFFSET_AT, c.offset);
        PutU32(bytes, PAK_DIR_LENGTH_AT, c.length);
        EXPECT_EQ(Load(bytes), 0) << c.offset << " " << c.length;
        ExpectOneError("Error Reading DirList");
        EXPECT_EQ(recording.allocations, 0);
        EXPECT_TRUE(recording.titles.empty());
        EXPECT_EQ(recording.repaints, 0);
        ExpectReleased();
    }
}

TEST_F(ArchiveReader, RefusedAllocationOfTheDirectory) {
    recording.failAllocation = 1;
    EXPECT_EQ(Load(ArchiveBytes({{"maps/a.bsp", MarkedLevel(1)}})), 0);
    ExpectOneError("Can't allocate memory (DirList)");
    ExpectReleased();
}

TEST_F(ArchiveReader, RefusedAllocationOfALevelTableReleasesTheDirectoryToo) {
    const struct {
        int allocation;  // the directory is the first
        const char *text;
    } cases[] = {{2, "Can't allocate memory for vertex."}, {3, "Can't allocate memory for Edges."}};
    for (const auto &c : cases) {
        ResetRecording();
        recording.chooseName = "maps/a.bsp";
        recording.failAllocation = c.allocation;
        EXPECT_EQ(Load(ArchiveBytes({{"maps/a.bsp", MarkedLevel(1)}})), 0);
        ExpectOneError(c.text);
        EXPECT_EQ(recording.titles.back(), "KORVITAN - maps/a.bsp");
        EXPECT_EQ(recording.repaints, 0);
        EXPECT_EQ(MapData.dirList, nullptr);
        EXPECT_EQ(MapData.file, nullptr);
        EXPECT_EQ(recording.liveBlocks, 0);
    }
}

TEST_F(ArchiveReader, OldLevelVersionKeepsTheDirectoryAndShowsTheEntryName) {
    recording.chooseName = "maps/old.bsp";
    EXPECT_EQ(Load(ArchiveBytes({{"maps/old.bsp", MarkedLevel(1, 27)}})), 0);
    ExpectOneError("Invalid BSP version! (should be >=0x1C )");
    EXPECT_EQ(recording.titles.back(), "KORVITAN - maps/old.bsp");
    EXPECT_EQ(recording.repaints, 1);
    EXPECT_EQ(MapData.dirCount, 1);
    EXPECT_NE(MapData.dirList, nullptr);
    EXPECT_EQ(MapData.file, nullptr);
    EXPECT_EQ(MapData.vertices, nullptr);
}

TEST_F(ArchiveReader, LevelHeaderOutsideTheArchiveReleasesEverything) {
    for (int32_t filePos : {-1, INT32_MIN, 0x7FFFFFFF, 1000}) {
        ResetRecording();
        std::vector<ArchiveEntry> entries = {{"maps/a.bsp", MarkedLevel(1)}};
        Bytes bytes = ArchiveBytes(entries);
        int32_t dirOffset = GetI32(bytes, PAK_DIR_OFFSET_AT);
        PutI32(bytes, size_t(dirOffset) + 56, filePos);
        recording.chooseName = "maps/a.bsp";
        EXPECT_EQ(Load(bytes), 0) << filePos;
        ExpectOneError("Error Reading BspHdr", true);
        EXPECT_EQ(recording.titles.back(), "KORVITAN - maps/a.bsp") << "the title as it stood";
        EXPECT_EQ(recording.repaints, 0);
        EXPECT_EQ(MapData.dirList, nullptr);
        EXPECT_EQ(recording.liveBlocks, 0);
    }
}

TEST_F(ArchiveReader, LumpPositionThatWrapsBelowZeroIsRefused) {
    // base 12 + offset 0x7FFFFFF8 is negative when formed in 32 bits.
    Bytes level = MarkedLevel(1);
    PutI32(level, LEVEL_VERTEX_OFFSET_AT, 0x7FFFFFF8);
    recording.chooseName = "maps/a.bsp";
    EXPECT_EQ(Load(ArchiveBytes({{"maps/a.bsp", level}})), 0);
    ExpectOneError("Error Reading Vertices", true);
    EXPECT_EQ(recording.allocations, 1) << "only the directory";
    EXPECT_EQ(MapData.dirList, nullptr);
}

}  // namespace
