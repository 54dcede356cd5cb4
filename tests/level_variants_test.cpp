// The variants of the level header: each draws exactly what the same level
// draws in the original layout, alone and inside an archive; 32-bit indices
// reach past 65,535; a header the reader cannot draw is refused like a
// version too old, and one that the file does not hold like a short read.
// The layouts that store surfaces: the edges their surfaces make, rule by
// rule, the demo level's pixels, their refusals and read errors.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "map/archive_reader.h"
#include "map/level_reader.h"
#include "map/load_report.h"
#include "map/model.h"
#include "tools/demo_levels.h"
#include "tools/level_writer.h"
#include "support/recording_backend.h"
#include "support/temp_files.h"

namespace {

const LevelVariant NEW_VARIANTS[] = {VARIANT_BSP2, VARIANT_2PSB, VARIANT_IBSP, VARIANT_QBSP, VARIANT_VBSP};
const char ENTRY[] = "maps/variant.bsp";

class LevelVariants : public ::testing::Test {
protected:
    void SetUp() override { ResetRecording(); }
    void TearDown() override { FreeMapData(); }

    // Loads the level from a file of its own, or from an archive whose
    // directory comes first and the level last, so that the level ends
    // where the file ends.
    int32_t Load(const Bytes &level, bool inArchive) {
        if (!inArchive) {
            path = WriteTempFile("variant.bsp", level);
            ChooseFile(path);
            return LoadBspFile(RecordingWindow());
        }
        Bytes archive = ArchiveBytes({{ENTRY, {}}});
        PutI32(archive, size_t(GetI32(archive, PAK_DIR_OFFSET_AT)) + DIR_NAME_SIZE, int32_t(archive.size()));
        archive.insert(archive.end(), level.begin(), level.end());
        path = WriteTempFile("variant.pak", archive);
        ChooseFile(path);
        recording.chooseName = ENTRY;
        return LoadPakFile(RecordingWindow());
    }

    std::string Title(bool inArchive) { return "KORVITAN - " + (inArchive ? std::string(ENTRY) : path); }

    std::string Drawing() { return SixViewsDrawn(); }

    // The one message of a failed load: its text, its caption "Error",
    // whether the model still held the file, and the result left behind.
    void ExpectOneError(const std::string &text, bool releasedFirst) {
        ASSERT_EQ(recording.messages.size(), 1u);
        EXPECT_EQ(recording.messages[0].text, text);
        EXPECT_EQ(recording.messages[0].caption, "Error");
        EXPECT_EQ(recording.messages[0].fileOpen, !releasedFirst);
        EXPECT_TRUE(recording.messages[0].modelWhole) << "a count stood without its table";
        EXPECT_EQ(recording.messages[0].linesBehind, 0) << "the paint behind the message drew a level";
        EXPECT_EQ(LastLoadResult().status, LOAD_FAILED);
        EXPECT_EQ(LastLoadResult().text, text);
    }

    void ExpectNoLevel() {
        EXPECT_EQ(MapData.file, nullptr);
        EXPECT_EQ(MapData.vertices, nullptr);
        EXPECT_EQ(MapData.edges, nullptr);
        EXPECT_EQ(MapData.vertexCount, 0);
        EXPECT_EQ(MapData.edgeCount, 0);
    }

    std::string path;
};

TEST_F(LevelVariants, EachDrawsTheDemoLevelExactlyLikeTheOriginalLayout) {
    Wireframe demo = DemoLevel();
    ASSERT_EQ(Load(LevelBytes(demo.vertices, demo.edges), false), 1);
    const std::string original = Drawing();
    ASSERT_GT(original.size(), 6 * 2 * demo.edges.size() * 8);
    for (LevelVariant variant : NEW_VARIANTS) {
        const LevelVariantLayout &layout = LEVEL_VARIANTS[variant];
        Bytes level = VariantLevelBytes(variant, demo.vertices, WidenEdges(demo.edges));
        for (bool inArchive : {false, true}) {
            SCOPED_TRACE(std::string(layout.name) + (inArchive ? " in an archive" : ""));
            ResetRecording();
            ASSERT_EQ(Load(level, inArchive), 1);
            EXPECT_TRUE(recording.messages.empty());
            EXPECT_EQ(recording.titles.back(), Title(inArchive));
            EXPECT_STREQ(LastLevelFormat(), layout.name);
            EXPECT_EQ(LastLevelVersion(), GetI32(level, layout.versionAt));
            // The tables are the file's records in place, however wide.
            uint64_t directory = inArchive ? sizeof(DirEntry) : 0;
            EXPECT_EQ(recording.bytesAllocated, directory + level.size() - layout.headerSize);
            EXPECT_EQ(Drawing(), original);
        }
    }
}

// 70,000 vertices, all at the origin but four corners at indices past
// 65,535: the same drawing as a level of the corners and the origin.
TEST_F(LevelVariants, ThirtyTwoBitIndicesDrawEdgesPast65535) {
    const Vertex corners[] = {{-100, -50, 0}, {300, 40, 80}, {20, 200, -30}, {0, 0, 120}};
    const uint32_t at[] = {65536, 65537, 69999, 66000};
    std::vector<Vertex> many(70000, Vertex{0, 0, 0});
    for (int k = 0; k < 4; k++) many[at[k]] = corners[k];
    // The last two edges name vertices that do not exist and are skipped.
    std::vector<WideEdge> wide = {{at[0], at[1]}, {at[1], at[2]}, {at[2], at[3]},
                                  {at[3], at[0]}, {0, at[2]},     {70000, 1},
                                  {1, 0xFFFFFFFFu}};
    std::vector<Vertex> few = {{0, 0, 0}, corners[0], corners[1], corners[2], corners[3]};
    std::vector<Edge> narrow = {{1, 2}, {2, 3}, {3, 4}, {4, 1}, {0, 3}, {5, 1}, {1, 65535}};
    ASSERT_EQ(Load(LevelBytes(few, narrow), false), 1);
    const std::string expected = Drawing();

    for (LevelVariant variant : {VARIANT_BSP2, VARIANT_2PSB, VARIANT_QBSP}) {
        SCOPED_TRACE(LEVEL_VARIANTS[variant].name);
        ResetRecording();
        // Four bytes after the last edge belong to no record.
        Bytes level = VariantLevelBytes(variant, many, wide);
        level.resize(level.size() + 4);
        PutU32(level, LEVEL_VARIANTS[variant].edgeLumpAt + 4, uint32_t(wide.size() * 8 + 4));
        ASSERT_EQ(Load(level, false), 1);
        EXPECT_EQ(MapData.edgeCount, 7);
        EXPECT_EQ(Drawing(), expected);
    }
}

// A version the reader does not know, or a table stored compressed: the
// message while the file is still open, then the file closed, the title
// naming what was opened and a repaint; nothing allocated for the level,
// and an archive's directory kept.
TEST_F(LevelVariants, HeadersItCannotDrawAreRefusedLikeAnOldVersion) {
    const LevelVariantLayout &ibsp = LEVEL_VARIANTS[VARIANT_IBSP];
    const LevelVariantLayout &qbsp = LEVEL_VARIANTS[VARIANT_QBSP];
    const LevelVariantLayout &vbsp = LEVEL_VARIANTS[VARIANT_VBSP];
    const struct {
        const LevelVariantLayout &layout;
        uint32_t at, value;
        const char *text;
    } cases[] = {
        {ibsp, ibsp.versionAt, 37, "Unsupported BSP format! (IBSP version 37)"},
        {ibsp, ibsp.versionAt, 39, "Unsupported BSP format! (IBSP version 39)"},
        {ibsp, ibsp.versionAt, uint32_t(-38), "Unsupported BSP format! (IBSP version -38)"},
        {qbsp, qbsp.versionAt, 46, "Unsupported BSP format! (QBSP version 46)"},
        {vbsp, vbsp.versionAt, 18, "Unsupported BSP format! (VBSP version 18)"},
        {vbsp, vbsp.versionAt, 22, "Unsupported BSP format! (VBSP version 22)"},
        {vbsp, vbsp.vertexLumpAt + 12, 0x414D5A4C, "Unsupported BSP format! (compressed lump)"},
        {vbsp, vbsp.edgeLumpAt + 12, 0x01000000, "Unsupported BSP format! (compressed lump)"},
    };
    std::vector<Vertex> triangle = {{0, 0, 0}, {64, 0, 8}, {0, 32, -16}};
    for (const auto &c : cases) {
        Bytes level = VariantLevelBytes(c.layout.variant, triangle, {{0, 1}, {1, 2}, {2, 0}});
        PutU32(level, c.at, c.value);
        for (bool inArchive : {false, true}) {
            SCOPED_TRACE(std::string(c.text) + (inArchive ? " in an archive" : ""));
            ResetRecording();
            EXPECT_EQ(Load(level, inArchive), 0);
            ExpectOneError(c.text, false);
            ASSERT_GE(recording.events.size(), 3u);
            std::vector<std::string> last(recording.events.end() - 3, recording.events.end());
            std::vector<std::string> expected = {std::string("message Error|") + c.text,
                                                 "title " + Title(inArchive), "repaint"};
            EXPECT_EQ(last, expected);
            ExpectNoLevel();
            EXPECT_EQ(recording.allocations, inArchive ? 1 : 0) << "at most the directory";
            EXPECT_EQ(MapData.dirCount, inArchive ? 1 : 0);
        }
    }
}

// A header longer than what the file holds from the level's start, or a
// table outside the file: the model released before the message, nothing
// allocated beyond the tables before it.
TEST_F(LevelVariants, HeaderOrTableOutsideTheFileIsAReadError) {
    enum Fault { HEADER_CUT, VERTICES_PAST_END, EDGES_ONE_PAST_END };
    const struct {
        LevelVariant variant;
        Fault fault;
        const char *text;
    } cases[] = {
        {VARIANT_IBSP, HEADER_CUT, "Error Reading BspHdr"},
        {VARIANT_VBSP, HEADER_CUT, "Error Reading BspHdr"},
        {VARIANT_BSP2, VERTICES_PAST_END, "Error Reading Vertices"},
        {VARIANT_IBSP, VERTICES_PAST_END, "Error Reading Vertices"},
        {VARIANT_VBSP, VERTICES_PAST_END, "Error Reading Vertices"},
        {VARIANT_2PSB, EDGES_ONE_PAST_END, "Error Reading Edges"},
        {VARIANT_IBSP, EDGES_ONE_PAST_END, "Error Reading Edges"},
        {VARIANT_QBSP, EDGES_ONE_PAST_END, "Error Reading Edges"},
        {VARIANT_VBSP, EDGES_ONE_PAST_END, "Error Reading Edges"},
    };
    for (const auto &c : cases) {
        const LevelVariantLayout &layout = LEVEL_VARIANTS[c.variant];
        Bytes level = VariantLevelBytes(c.variant, {{1, 2, 3}, {4, 5, 6}}, {{0, 1}});
        if (c.fault == HEADER_CUT) level.resize(layout.headerSize - 1);  // the first 124 bytes are there
        if (c.fault == VERTICES_PAST_END) PutU32(level, layout.vertexLumpAt + 4, uint32_t(level.size()));
        if (c.fault == EDGES_ONE_PAST_END)
            PutI32(level, layout.edgeLumpAt, int32_t(level.size() - layout.edgeSize + 1));
        for (bool inArchive : {false, true}) {
            SCOPED_TRACE(std::string(layout.name) + " " + c.text + (inArchive ? " in an archive" : ""));
            ResetRecording();
            EXPECT_EQ(Load(level, inArchive), 0);
            ExpectOneError(c.text, true);
            if (c.fault == HEADER_CUT && !inArchive)
                EXPECT_TRUE(recording.titles.empty());
            else
                EXPECT_EQ(recording.titles.back(), Title(inArchive));
            EXPECT_EQ(recording.repaints, 0);
            ExpectNoLevel();
            EXPECT_EQ(MapData.dirList, nullptr);
            EXPECT_EQ(recording.liveBlocks, 0);
            EXPECT_EQ(recording.allocations, (inArchive ? 1 : 0) + (c.fault == EDGES_ONE_PAST_END ? 1 : 0));
        }
    }
}


// ---- Levels that store surfaces ---------------------------------------------------------

typedef std::vector<std::pair<uint32_t, uint32_t>> EdgeList;

EdgeList MadeEdges() {
    EdgeList edges;
    for (int32_t i = 0; i < MapData.edgeCount; i++) {
        uint32_t a, b;
        EdgeEnds(i, &a, &b);
        edges.push_back({a, b});
    }
    return edges;
}

// Tables over `count` distinct points.
SurfaceLevel RuleTables(int32_t count, std::vector<int32_t> indices, std::vector<SurfaceSpec> surfaces) {
    SurfaceLevel level;
    for (int32_t i = 0; i < count; i++) level.positions.push_back({float(i), float(2 * i), float(-i)});
    level.indices = std::move(indices);
    level.surfaces = std::move(surfaces);
    return level;
}

// Each face of the demo level a planar surface, in both layouts and both
// versions of the first, alone and inside an archive: exactly the directed
// segments (so exactly the pixels) demo.bsp draws in all six views.
TEST_F(LevelVariants, SurfaceLayoutsDrawTheDemoLevelsSegments) {
    Wireframe demo = DemoLevel();
    ASSERT_EQ(Load(LevelBytes(demo.vertices, demo.edges), false), 1);
    const std::set<std::string> original = SixViewsSegmentSet();
    ASSERT_GT(original.size(), 6 * demo.edges.size() / 2);
    const SurfaceLevel faces = FaceSurfaces(demo);
    const struct {
        SurfaceVariant variant;
        int32_t version;
    } layouts[] = {{SURFACES_IBSP, 46}, {SURFACES_IBSP, 47}, {SURFACES_RBSP, 1}};
    for (const auto &l : layouts) {
        Bytes level = SurfaceLevelBytes(l.variant, faces, l.version);
        for (bool inArchive : {false, true}) {
            SCOPED_TRACE(std::string(SURFACE_VARIANTS[l.variant].name) + " " + std::to_string(l.version) +
                         (inArchive ? " in an archive" : ""));
            ResetRecording();
            ASSERT_EQ(Load(level, inArchive), 1);
            EXPECT_TRUE(recording.messages.empty());
            EXPECT_EQ(recording.titles.back(), Title(inArchive));
            EXPECT_STREQ(LastLevelFormat(), SURFACE_VARIANTS[l.variant].name);
            EXPECT_EQ(LastLevelVersion(), l.version);
            EXPECT_EQ(MapData.vertexCount, int32_t(faces.positions.size()));
            EXPECT_EQ(SixViewsSegmentSet(), original);
        }
    }
}

// The skeleton rule, row by row, in both layouts: what each kind of
// surface makes, in what order, and what is skipped.
TEST_F(LevelVariants, SurfacesMakeEdgesByTheSkeletonRule) {
    const int PLANAR = 1, PATCH = 2, SOUP = 3;
    // A 20-sided polygon as a fan of 18 triangles, then a triangle naming a
    // vertex beyond the table and one naming the side 0-1 twice.
    std::vector<int32_t> fan;
    EdgeList polygon, fanSides = {{0, 1}};  // the soup: each triangle's two new sides
    for (uint32_t i = 1; i + 1 < 20; i++) {
        fan.insert(fan.end(), {0, int32_t(i), int32_t(i + 1)});
        fanSides.insert(fanSides.end(), {{i, i + 1}, {i + 1, 0}});
    }
    for (uint32_t i = 0; i < 20; i++) polygon.push_back({i, (i + 1) % 20});
    fan.insert(fan.end(), {0, 1, 20, 0, 1, 0});
    fanSides.push_back({0, 0});
    EdgeList polygonAndDegenerate(polygon.begin() + 1, polygon.end());
    polygonAndDegenerate.push_back({0, 0});
    const struct {
        const char *rule;
        SurfaceLevel tables;
        EdgeList edges;
    } rows[] = {
        {"planar: the side two triangles share vanishes", RuleTables(4, {0, 1, 2, 0, 2, 3}, {{PLANAR, 0, 4, 0, 6, 0, 0}}),
         {{0, 1}, {1, 2}, {2, 3}, {3, 0}}},
        {"planar: from the first vertex, in order of triangles and then sides",
         RuleTables(6, {0, 1, 2, 1, 3, 2}, {{PLANAR, 2, 4, 0, 6, 0, 0}}), {{2, 3}, {4, 2}, {3, 5}, {5, 4}}},
        {"planar: a triangle naming a side twice is still one triangle",
         RuleTables(2, {0, 1, 0}, {{PLANAR, 0, 2, 0, 3, 0, 0}}), {{0, 1}, {1, 0}, {0, 0}}},
        {"planar: a triangle naming a vertex outside the table is skipped",
         RuleTables(4, {0, 1, 2, 0, 2, 3, 0, 1, 4, 3, -5, 0}, {{PLANAR, 0, 4, 0, 12, 0, 0}}),
         {{0, 1}, {1, 2}, {2, 3}, {3, 0}}},
        {"soup: each distinct side once, as first met", RuleTables(4, {0, 1, 2, 2, 1, 3}, {{SOUP, 0, 4, 0, 6, 0, 0}}),
         {{0, 1}, {1, 2}, {2, 0}, {1, 3}, {3, 2}}},
        {"many triangles: planar, the polygon", RuleTables(20, fan, {{PLANAR, 0, 20, 0, 54, 0, 0}}), polygon},
        {"many triangles: planar, a triangle naming a side twice is one", RuleTables(20, fan, {{PLANAR, 0, 20, 0, 60, 0, 0}}),
         polygonAndDegenerate},
        {"many triangles: soup", RuleTables(20, fan, {{SOUP, 0, 20, 0, 60, 0, 0}}), fanSides},
        {"many vertices: planar", RuleTables(100, {0, 70, 99, 99, 70, 1}, {{PLANAR, 0, 100, 0, 6, 0, 0}}),
         {{0, 70}, {99, 0}, {70, 1}, {1, 99}}},
        {"many vertices: soup", RuleTables(100, {0, 70, 99, 99, 70, 1}, {{SOUP, 0, 100, 0, 6, 0, 0}}),
         {{0, 70}, {70, 99}, {99, 0}, {70, 1}, {1, 99}}},
        {"patch: rows top to bottom, then columns left to right", RuleTables(6, {}, {{PATCH, 0, 6, 0, 0, 3, 2}}),
         {{0, 1}, {1, 2}, {3, 4}, {4, 5}, {0, 3}, {1, 4}, {2, 5}}},
        {"patch: from the first vertex, fewer points than vertices", RuleTables(10, {}, {{PATCH, 1, 9, 0, 0, 2, 2}}),
         {{1, 2}, {3, 4}, {1, 3}, {2, 4}}},
        {"patch: narrow, flat, beyond its vertices or the table: nothing",
         RuleTables(6, {}, {{PATCH, 0, 4, 0, 0, 1, 4}, {PATCH, 0, 4, 0, 0, 4, 1}, {PATCH, 0, 3, 0, 0, 2, 2},
                            {PATCH, 3, 4, 0, 0, 2, 2}, {PATCH, -1, 4, 0, 0, 2, 2}}),
         {}},
        {"other types: nothing",
         RuleTables(3, {0, 1, 2}, {{0, 0, 3, 0, 3, 2, 2}, {4, 0, 3, 0, 3, 2, 2}, {-1, 0, 3, 0, 3, 2, 2}}), {}},
        {"surfaces in table order; triangles outside the index table and trailing indices skipped",
         RuleTables(4, {0, 1, 2, 0, 2, 3, 1},
                    {{PLANAR, 0, 4, -3, 6, 0, 0}, {SOUP, 0, 4, 3, 7, 0, 0}, {PLANAR, 0, 4, 0, -3, 0, 0}}),
         {{0, 1}, {1, 2}, {2, 0}, {0, 2}, {2, 3}, {3, 0}}},
        {"surfaces sharing indices or points beyond the tables' counts: the later ones nothing",
         RuleTables(4, {0, 1, 2},
                    {{PLANAR, 0, 3, 0, 3, 0, 0}, {SOUP, 0, 3, 0, 3, 0, 0}, {PATCH, 0, 4, 0, 0, 2, 2},
                     {PATCH, 0, 4, 0, 0, 2, 2}}),
         {{0, 1}, {1, 2}, {2, 0}, {0, 1}, {2, 3}, {0, 2}, {1, 3}}},
    };
    // A planar or soup surface's vertex count plays no part in the rule;
    // the reader takes another way for a surface of few vertices than for
    // one that gives none, and both must make the same edges.
    for (const auto &row : rows) {
        SurfaceLevel uncounted = row.tables;
        for (SurfaceSpec &surface : uncounted.surfaces)
            if (surface.type != PATCH) surface.vertexCount = 0;
        for (SurfaceVariant variant : {SURFACES_IBSP, SURFACES_RBSP}) {
            for (const SurfaceLevel *tables : {&row.tables, const_cast<const SurfaceLevel *>(&uncounted)}) {
                SCOPED_TRACE(std::string(SURFACE_VARIANTS[variant].name) + ": " + row.rule +
                             (tables == &uncounted ? ", no vertex counts" : ""));
                ResetRecording();
                ASSERT_EQ(Load(SurfaceLevelBytes(variant, *tables), false), 1);
                EXPECT_EQ(MapData.edgeIndexSize, 4);
                EXPECT_EQ(MadeEdges(), row.edges);
            }
        }
    }
}

TEST_F(LevelVariants, SurfaceLayoutsOfOtherVersionsAreRefused) {
    const struct {
        SurfaceVariant variant;
        int32_t version;
        const char *text;
    } cases[] = {
        {SURFACES_IBSP, 45, "Unsupported BSP format! (IBSP version 45)"},
        {SURFACES_IBSP, 48, "Unsupported BSP format! (IBSP version 48)"},
        {SURFACES_RBSP, 2, "Unsupported BSP format! (RBSP version 2)"},
        {SURFACES_RBSP, -1, "Unsupported BSP format! (RBSP version -1)"},
    };
    SurfaceLevel square = RuleTables(4, {0, 1, 2, 0, 2, 3}, {{1, 0, 4, 0, 6, 0, 0}});
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        ResetRecording();
        Bytes level = SurfaceLevelBytes(c.variant, square);
        PutI32(level, 4, c.version);  // 0 would mean the layout's own
        EXPECT_EQ(Load(level, false), 0);
        ExpectOneError(c.text, false);
        std::vector<std::string> expected = {std::string("message Error|") + c.text, "title " + Title(false),
                                             "repaint"};
        EXPECT_EQ(recording.events, expected);
        EXPECT_EQ(recording.allocations, 0);
        ExpectNoLevel();
    }
}

// The tables are checked and read in the order draw vertices, index table,
// surfaces; a table the file does not hold is a read error (the model
// released first), a refused block an allocation error (shown first).
TEST_F(LevelVariants, SurfaceTablesOutsideTheFileOrWithoutMemoryFail) {
    enum Fault { HEADER_CUT, VERTICES_OUT, VERTICES_AND_INDICES_OUT, INDICES_OUT, SURFACES_OUT, REFUSE_BLOCK };
    const struct {
        Fault fault;
        int block;  // REFUSE_BLOCK: positions, indices, edges, pair table
        const char *text;
    } cases[] = {
        {HEADER_CUT, 0, "Error Reading BspHdr"},
        {VERTICES_OUT, 0, "Error Reading Vertices"},
        {VERTICES_AND_INDICES_OUT, 0, "Error Reading Vertices"},
        {INDICES_OUT, 0, "Error Reading Edges"},
        {SURFACES_OUT, 0, "Error Reading Edges"},
        {REFUSE_BLOCK, 1, "Can't allocate memory for vertex."},
        {REFUSE_BLOCK, 2, "Can't allocate memory for Edges."},
        {REFUSE_BLOCK, 3, "Can't allocate memory for Edges."},
        {REFUSE_BLOCK, 4, "Can't allocate memory for Edges."},
    };
    // A square, and a polygon that does not give its vertex count: its
    // pairs need the allocated table.
    SurfaceLevel square = RuleTables(4, {0, 1, 2, 0, 2, 3}, {{1, 0, 4, 0, 6, 0, 0}});
    std::vector<Vertex> polygon;
    for (int i = 0; i < 20; i++) polygon.push_back({float(i), float(i * i % 7), 0});
    AddPlanarFace(&square, polygon);
    square.surfaces.back().vertexCount = 0;
    for (SurfaceVariant variant : {SURFACES_IBSP, SURFACES_RBSP}) {
        const SurfaceVariantLayout &layout = SURFACE_VARIANTS[variant];
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(layout.name) + " " + c.text + " " + std::to_string(c.block));
            ResetRecording();
            Bytes level = SurfaceLevelBytes(variant, square);
            uint32_t size = uint32_t(level.size());
            if (c.fault == HEADER_CUT) level.resize(layout.headerSize - 1);
            if (c.fault == VERTICES_OUT || c.fault == VERTICES_AND_INDICES_OUT)
                PutU32(level, layout.drawVerticesAt + 4, size);
            if (c.fault == INDICES_OUT || c.fault == VERTICES_AND_INDICES_OUT)
                PutI32(level, layout.indicesAt, int32_t(size) - 23);
            if (c.fault == SURFACES_OUT) PutU32(level, layout.surfacesAt + 4, size);
            recording.failAllocation = c.block;
            EXPECT_EQ(Load(level, false), 0);
            ExpectOneError(c.text, c.fault != REFUSE_BLOCK);
            EXPECT_EQ(recording.repaints, 0);
            ExpectNoLevel();
            EXPECT_EQ(recording.liveBlocks, 0);
        }
    }
}

}  // namespace
