// Loading a standalone level: what the user sees and what the model holds
// after every way a load can end.
#include <gtest/gtest.h>

#include <cstring>

#include "map/level_reader.h"
#include "map/load_report.h"
#include "map/model.h"
#include "tools/level_writer.h"
#include "support/recording_backend.h"
#include "support/temp_files.h"

namespace {

const std::vector<Vertex> TRIANGLE = {{0, 0, 0}, {64, 0, 8}, {0, 32, -16}};
const std::vector<Edge> TRIANGLE_EDGES = {{0, 1}, {1, 2}, {2, 0}};

class LevelReader : public ::testing::Test {
protected:
    void SetUp() override { ResetRecording(); }
    void TearDown() override { FreeMapData(); }

    // Writes the level, chooses it and loads it.
    int32_t Load(const Bytes &bytes, const char *name = "level.bsp") {
        path = WriteTempFile(name, bytes);
        ChooseFile(path);
        return LoadBspFile(RecordingWindow());
    }

    void ExpectModelEmpty() {
        EXPECT_EQ(MapData.file, nullptr);
        EXPECT_EQ(MapData.vertices, nullptr);
        EXPECT_EQ(MapData.edges, nullptr);
        EXPECT_EQ(MapData.vertexCount, 0);
        EXPECT_EQ(MapData.edgeCount, 0);
        EXPECT_EQ(recording.liveBlocks, 0);
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

    std::string path;
};

TEST_F(LevelReader, LoadsTablesBoundsTitleAndRepaint) {
    EXPECT_EQ(Load(LevelBytes(TRIANGLE, TRIANGLE_EDGES)), 1);
    EXPECT_TRUE(recording.messages.empty());
    ASSERT_EQ(MapData.vertexCount, 3);
    ASSERT_EQ(MapData.edgeCount, 3);
    EXPECT_EQ(MapData.vertices[1].x, 64.0f);
    EXPECT_EQ(MapData.edges[2].first, 2);
    EXPECT_EQ(MapData.file, nullptr) << "the file is closed once the load ends";
    EXPECT_EQ(MapBounds.minX, 0.0f);
    EXPECT_EQ(MapBounds.maxX, 64.0f);
    EXPECT_EQ(MapBounds.maxY, 32.0f);
    EXPECT_EQ(MapBounds.minZ, -16.0f);
    EXPECT_EQ(MapBounds.maxZ, 8.0f);
    std::vector<std::string> expected = {"title KORVITAN - " + path, "repaint"};
    EXPECT_EQ(recording.events, expected);
    EXPECT_EQ(LastLoadResult().status, LOAD_LOADED);
}

TEST_F(LevelReader, MissingFileShowsItsPathAndChangesNothing) {
    std::string missing = MissingTempPath("nowhere.bsp");
    ChooseFile(missing);
    EXPECT_EQ(LoadBspFile(RecordingWindow()), 0);
    ASSERT_EQ(recording.messages.size(), 1u);
    EXPECT_EQ(recording.messages[0].text, missing);
    EXPECT_EQ(recording.messages[0].caption, "Can't open file:");
    EXPECT_STREQ(LastLoadResult().text, missing.c_str());
    EXPECT_STREQ(LastLoadResult().caption, "Can't open file:");
    EXPECT_TRUE(recording.titles.empty());
    EXPECT_EQ(recording.repaints, 0);
    ExpectModelEmpty();
}

TEST_F(LevelReader, RefusesVersionsBelow28ButNamesTheFileAndRepaints) {
    for (int32_t version : {27, 0, -1, INT32_MIN}) {
        ResetRecording();
        EXPECT_EQ(Load(LevelBytes(TRIANGLE, TRIANGLE_EDGES, version)), 0) << version;
        ExpectOneError("Invalid BSP version! (should be >=0x1C )");
        std::vector<std::string> expected = {
            "message Error|Invalid BSP version! (should be >=0x1C )",
            "title KORVITAN - " + path, "repaint"};
        EXPECT_EQ(recording.events, expected) << version;
        ExpectModelEmpty();
        EXPECT_EQ(recording.allocations, 0) << "nothing is allocated for a refused level";
    }
}

TEST_F(LevelReader, AcceptsVersion28AndAbove) {
    for (int32_t version : {28, 29, 30, INT32_MAX}) {
        ResetRecording();
        EXPECT_EQ(Load(LevelBytes(TRIANGLE, TRIANGLE_EDGES, version)), 1) << version;
        EXPECT_TRUE(recording.messages.empty()) << version;
        EXPECT_EQ(LastLevelVersion(), version);
    }
}

TEST_F(LevelReader, PartialRecordsAreAllocatedAndReadButNotCounted) {
    Bytes bytes = LevelBytes(TRIANGLE, TRIANGLE_EDGES);
    // 25 bytes of vertices (two whole records and one byte), 10 of edges.
    PutU32(bytes, LEVEL_VERTEX_LENGTH_AT, 25);
    PutI32(bytes, LEVEL_EDGE_OFFSET_AT, LEVEL_HEADER_SIZE + 36);
    PutU32(bytes, LEVEL_EDGE_LENGTH_AT, 10);
    EXPECT_EQ(Load(bytes), 1);
    EXPECT_EQ(MapData.vertexCount, 2);
    EXPECT_EQ(MapData.edgeCount, 2);
    EXPECT_EQ(recording.bytesAllocated, 35u) << "25 + 10 bytes, exactly the lump lengths";
    EXPECT_EQ(MapBounds.maxX, 64.0f);
    EXPECT_EQ(MapBounds.maxY, 0.0f) << "the third vertex is not a record";
}

TEST_F(LevelReader, EmptyTablesAreNoErrorWhereverTheyPoint) {
    Bytes bytes = LevelBytes({}, {});
    PutI32(bytes, LEVEL_VERTEX_OFFSET_AT, -5000);
    PutI32(bytes, LEVEL_EDGE_OFFSET_AT, 0x7FFFFFFF);
    EXPECT_EQ(Load(bytes), 1);
    EXPECT_TRUE(recording.messages.empty());
    EXPECT_EQ(MapData.vertexCount, 0);
    EXPECT_EQ(MapData.edgeCount, 0);
    EXPECT_EQ(recording.repaints, 1);
}

TEST_F(LevelReader, EmptyVertexTableKeepsThePreviousBounds) {
    ASSERT_EQ(Load(LevelBytes(TRIANGLE, TRIANGLE_EDGES)), 1);
    EXPECT_EQ(Load(LevelBytes({}, {{0, 1}}), "empty.bsp"), 1);
    EXPECT_EQ(MapBounds.maxX, 64.0f);
    EXPECT_EQ(MapBounds.minZ, -16.0f);
}

TEST_F(LevelReader, FindsEachTableByItsOwnOffset) {
    // Edge table first, then the vertex table.
    Bytes bytes(LEVEL_HEADER_SIZE, 0);
    PutI32(bytes, 0, 29);
    PutI32(bytes, LEVEL_EDGE_OFFSET_AT, LEVEL_HEADER_SIZE);
    PutU32(bytes, LEVEL_EDGE_LENGTH_AT, 4);
    PutI32(bytes, LEVEL_VERTEX_OFFSET_AT, LEVEL_HEADER_SIZE + 4);
    PutU32(bytes, LEVEL_VERTEX_LENGTH_AT, 24);
    Edge edge = {1, 0};
    Vertex vertices[2] = {{5, 6, 7}, {-1, -2, -3}};
    bytes.resize(LEVEL_HEADER_SIZE + 4 + 24);
    std::memcpy(&bytes[LEVEL_HEADER_SIZE], &edge, 4);
    std::memcpy(&bytes[LEVEL_HEADER_SIZE + 4], vertices, 24);
    EXPECT_EQ(Load(bytes), 1);
    EXPECT_EQ(MapData.edges[0].first, 1);
    EXPECT_EQ(MapData.vertices[1].z, -3.0f);
    EXPECT_EQ(MapBounds.minX, -1.0f);
}

TEST_F(LevelReader, RefusedAllocationOfVerticesReleasesEverything) {
    recording.failAllocation = 1;
    EXPECT_EQ(Load(LevelBytes(TRIANGLE, TRIANGLE_EDGES)), 0);
    ExpectOneError("Can't allocate memory for vertex.");
    EXPECT_EQ(recording.titles.back(), "KORVITAN - " + path);
    EXPECT_EQ(recording.repaints, 0);
    ExpectModelEmpty();
}

TEST_F(LevelReader, RefusedAllocationOfEdgesReleasesEverything) {
    recording.failAllocation = 2;
    EXPECT_EQ(Load(LevelBytes(TRIANGLE, TRIANGLE_EDGES)), 0);
    ExpectOneError("Can't allocate memory for Edges.");
    EXPECT_EQ(recording.titles.back(), "KORVITAN - " + path);
    EXPECT_EQ(recording.repaints, 0);
    ExpectModelEmpty();
}

// A header that the file does not hold is refused before anything else:
// no title, no repaint, nothing allocated.
TEST_F(LevelReader, ShortHeaderIsRefused) {
    for (size_t size : {size_t(0), size_t(12), size_t(123)}) {
        ResetRecording();
        Bytes bytes = LevelBytes(TRIANGLE, TRIANGLE_EDGES);
        bytes.resize(size);
        EXPECT_EQ(Load(bytes), 0) << size;
        ExpectOneError("Error Reading BspHdr", true);
        EXPECT_TRUE(recording.titles.empty());
        EXPECT_EQ(recording.repaints, 0);
        EXPECT_EQ(recording.allocations, 0);
        ExpectModelEmpty();
    }
}

// Tables that lie outside the file are refused before they are allocated,
// so a claimed length of 4 GiB in a tiny file costs nothing.
TEST_F(LevelReader, VertexTableOutsideTheFileIsRefusedBeforeAllocating) {
    struct Case {
        int32_t offset;
        uint32_t length;
    } cases[] = {{-12, 12}, {LEVEL_HEADER_SIZE, 0xFFFFFFF0u}, {LEVEL_HEADER_SIZE + 12, 37},
                 {0x7FFFFFF0, 12}, {INT32_MIN, 24}};
    for (const Case &c : cases) {
        ResetRecording();
        Bytes bytes = LevelBytes(TRIANGLE, TRIANGLE_EDGES);
        PutI32(bytes, LEVEL_VERTEX_OFFSET_AT, c.offset);
        PutU32(bytes, LEVEL_VERTEX_LENGTH_AT, c.length);
        EXPECT_EQ(Load(bytes), 0) << c.offset << " " << c.length;
        ExpectOneError("Error Reading Vertices", true);
        EXPECT_EQ(recording.titles.back(), "KORVITAN - " + path) << "the title as it stood";
        EXPECT_EQ(recording.repaints, 0);
        EXPECT_EQ(recording.allocations, 0);
        ExpectModelEmpty();
    }
}

TEST_F(LevelReader, EdgeTableOutsideTheFileReleasesTheVertices) {
    Bytes bytes = LevelBytes(TRIANGLE, TRIANGLE_EDGES);
    PutU32(bytes, LEVEL_EDGE_LENGTH_AT, 0x80000000u);
    EXPECT_EQ(Load(bytes), 0);
    ExpectOneError("Error Reading Edges", true);
    EXPECT_EQ(recording.repaints, 0);
    EXPECT_EQ(recording.allocations, 1) << "only the vertex table was allocated";
    ExpectModelEmpty();
}

TEST_F(LevelReader, EdgeTableRunningOneBytePastTheEndIsRefused) {
    Bytes bytes = LevelBytes(TRIANGLE, TRIANGLE_EDGES);
    PutU32(bytes, LEVEL_EDGE_LENGTH_AT, 13);
    EXPECT_EQ(Load(bytes), 0);
    ExpectOneError("Error Reading Edges", true);
    ExpectModelEmpty();

    ResetRecording();
    PutU32(bytes, LEVEL_EDGE_LENGTH_AT, 12);  // exactly to the end
    EXPECT_EQ(Load(bytes), 1);
}

TEST_F(LevelReader, AFileThatIsNotRegularIsRefusedNotReadForever) {
    ChooseFile("/dev/zero");
    EXPECT_EQ(LoadBspFile(RecordingWindow()), 0);
    ExpectOneError("Error Reading BspHdr", true);
    ExpectModelEmpty();
}

TEST_F(LevelReader, TitleHoldsLongPathsWhole) {
    std::string name(200, 'n');
    EXPECT_EQ(Load(LevelBytes(TRIANGLE, TRIANGLE_EDGES), (name + ".bsp").c_str()), 1);
    ASSERT_GT(path.size(), 200u);
    EXPECT_EQ(recording.titles.back(), "KORVITAN - " + path);
}

}  // namespace
