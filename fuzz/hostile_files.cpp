// hostile_files.cpp - see hostile_files.h.
#include "hostile_files.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

const char BAD_VERSION[] = "Invalid BSP version! (should be >=0x1C )";
const char BAD_HEADER[] = "Error Reading BspHdr";
const char BAD_VERTICES[] = "Error Reading Vertices";
const char BAD_EDGES[] = "Error Reading Edges";
const char IBSP_37[] = "Unsupported BSP format! (IBSP version 37)";
const char QBSP_46[] = "Unsupported BSP format! (QBSP version 46)";
const char VBSP_22[] = "Unsupported BSP format! (VBSP version 22)";
const char VBSP_MINUS[] = "Unsupported BSP format! (VBSP version -2147483648)";
const char COMPRESSED[] = "Unsupported BSP format! (compressed lump)";
const char IBSP_45[] = "Unsupported BSP format! (IBSP version 45)";
const char RBSP_2[] = "Unsupported BSP format! (RBSP version 2)";
const char BAD_PAK_HEADER[] = "Error Reading PakHdr";
const char NOT_PAK[] = "File is not a .PAK file";
const char BAD_DIRECTORY[] = "Error Reading DirList";

const float QUIET_NAN = std::numeric_limits<float>::quiet_NaN();
const float POSITIVE_INFINITY = std::numeric_limits<float>::infinity();
const float TINY = std::numeric_limits<float>::denorm_min();
// The largest float below 2^31, and 2^31 itself: either side of the range
// a logical coordinate can take.
const float BELOW_2_POW_31 = 2147483520.0f;
const float k2p31 = 2147483648.0f;

const std::vector<Vertex> TRIANGLE = {{0, 0, 0}, {64, 0, 8}, {0, 32, -16}};
const std::vector<Edge> TRIANGLE_EDGES = {{0, 1}, {1, 2}, {2, 0}};

Bytes Triangle(int32_t version = 29) { return LevelBytes(TRIANGLE, TRIANGLE_EDGES, version); }

// The triangle in a variant of the header, with one of its fields patched.
Bytes Variant(LevelVariant variant, size_t at = 0, uint32_t value = 0) {
    Bytes bytes = VariantLevelBytes(variant, TRIANGLE, WidenEdges(TRIANGLE_EDGES));
    if (at) PutU32(bytes, at, value);
    return bytes;
}

const LevelVariantLayout &BSP2 = LEVEL_VARIANTS[VARIANT_BSP2];
const LevelVariantLayout &IBSP = LEVEL_VARIANTS[VARIANT_IBSP];
const LevelVariantLayout &VBSP = LEVEL_VARIANTS[VARIANT_VBSP];

// A small room with a stair: enough edges in every direction that each view
// draws something different.
Bytes Room() {
    std::vector<Vertex> v = {{0, 0, 0},     {256, 0, 0},   {256, 192, 0},  {0, 192, 0},
                             {0, 0, 128},   {256, 0, 128}, {256, 192, 128}, {0, 192, 128},
                             {32, 16, 0},   {32, 16, 16},  {64, 16, 16},   {64, 16, 32},
                             {96, 16, 32},  {96, 16, 48},  {128, 96, 64},  {128, 96, 256}};
    std::vector<Edge> e = {{0, 1},  {1, 2},  {2, 3},   {3, 0},   {4, 5},   {5, 6},
                           {6, 7},  {7, 4},  {0, 4},   {1, 5},   {2, 6},   {3, 7},
                           {8, 9},  {9, 10}, {10, 11}, {11, 12}, {12, 13}, {14, 15}};
    return LevelBytes(v, e);
}

Bytes Resized(Bytes bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

Bytes WithField(Bytes bytes, size_t at, uint32_t value) {
    PutU32(bytes, at, value);
    return bytes;
}

Bytes WithVertexLump(Bytes bytes, int32_t offset, uint32_t length) {
    PutI32(bytes, LEVEL_VERTEX_OFFSET_AT, offset);
    PutU32(bytes, LEVEL_VERTEX_LENGTH_AT, length);
    return bytes;
}

Bytes WithEdgeLump(Bytes bytes, int32_t offset, uint32_t length) {
    PutI32(bytes, LEVEL_EDGE_OFFSET_AT, offset);
    PutU32(bytes, LEVEL_EDGE_LENGTH_AT, length);
    return bytes;
}

// ---- Levels that store surfaces ---------------------------------------------------------

const SurfaceVariantLayout &IBSP46 = SURFACE_VARIANTS[SURFACES_IBSP];
const SurfaceVariantLayout &RBSP = SURFACE_VARIANTS[SURFACES_RBSP];

// One surface of every kind: a planar square, a soup of two triangles, a
// 3 x 3 patch with its middle raised, and a type that draws nothing.
SurfaceLevel EveryKindOfSurface() {
    SurfaceLevel level;
    AddPlanarFace(&level, {{0, 0, 0}, {64, 0, 0}, {64, 64, 0}, {0, 64, 0}});
    AddSoup(&level, {{0, 0, 32}, {64, 0, 32}, {32, 48, 64}, {0, 64, 32}}, {0, 1, 2, 2, 1, 3});
    std::vector<Vertex> grid;
    for (int row = 0; row < 3; row++)
        for (int col = 0; col < 3; col++)
            grid.push_back({float(32 * col), float(32 * row), row == 1 && col == 1 ? 160.0f : 96.0f});
    AddPatch(&level, 3, 3, grid);
    AddPlanarFace(&level, {{-8, -8, -8}, {8, -8, -8}, {0, 8, 8}});
    level.surfaces.back().type = 4;
    return level;
}

// Every kind of surface in a layout, with one field of the level patched.
Bytes Surfaces(SurfaceVariant variant, size_t at = 0, uint32_t value = 0) {
    Bytes bytes = SurfaceLevelBytes(variant, EveryKindOfSurface());
    if (at) PutU32(bytes, at, value);
    return bytes;
}

// Surfaces naming indices and vertices outside their tables, counts and
// first numbers at the ends of the 32-bit range.
Bytes SurfacesOutOfBounds() {
    SurfaceLevel level = EveryKindOfSurface();
    const int32_t max = INT32_MAX, min = INT32_MIN;
    level.indices.insert(level.indices.end(), {0, 1, max, min, 2, 3, -1, 0, 1});
    level.surfaces.insert(level.surfaces.end(), {{1, max, 4, 0, 6, 0, 0},
                                                 {1, -5, 4, 0, 6, 0, 0},
                                                 {3, 0, 4, min, max, 0, 0},
                                                 {3, 0, 4, max - 2, 9, 0, 0},
                                                 {1, 0, 4, 6, max, 0, 0},
                                                 {2, max - 1, max, 0, 0, 65536, 65536},
                                                 {2, 0, max, 0, 0, max, 2},
                                                 {2, 0, 9, 0, 0, min, -2},
                                                 {2, -9, 9, 0, 0, 3, 3}});
    return SurfaceLevelBytes(SURFACES_IBSP, level);
}

// 300 surfaces, each the whole index table: a fan of 200 triangles. Only
// the first makes edges; the others would read the indices again.
Bytes SurfacesSharingIndices() {
    SurfaceLevel level;
    std::vector<Vertex> ring;
    for (int i = 0; i < 202; i++) ring.push_back({float(i % 17), float(i / 17), float(i % 5)});
    AddPlanarFace(&level, ring);
    for (int i = 0; i < 300; i++) level.surfaces.push_back(level.surfaces[0]);
    for (int i = 0; i < 300; i++) level.surfaces.push_back({2, 0, 202, 0, 0, 2, 101});
    return SurfaceLevelBytes(SURFACES_RBSP, level);
}

HostileFile Loads(const std::string &name, Bytes bytes) { return {name, std::move(bytes), true, ""}; }

HostileFile Fails(const std::string &name, Bytes bytes, const char *message) {
    return {name, std::move(bytes), false, message};
}

// Ends without a level and without a message: no map was chosen.
HostileFile ChoosesNothing(const std::string &name, Bytes bytes) {
    return {name, std::move(bytes), false, ""};
}

// ---- Archives ----------------------------------------------------------------

size_t DirectoryOffset(const Bytes &archive) { return size_t(GetI32(archive, PAK_DIR_OFFSET_AT)); }

// Where field `at` of entry i's level header lies in an archive.
size_t LevelFieldAt(const std::vector<ArchiveEntry> &entries, size_t i, size_t at) {
    return size_t(ArchiveEntryPosition(entries, i)) + at;
}

Bytes Archive(const std::vector<ArchiveEntry> &entries, int row, bool okWithoutRow = false) {
    Bytes bytes = ArchiveBytes(entries);
    SetMapChoice(bytes, row, okWithoutRow);
    return bytes;
}

std::vector<ArchiveEntry> ThreeMaps() {
    return {{"readme.txt", {'r', 'e', 'a', 'd', '\n'}},
            {"maps/one.bsp", Triangle()},
            {"gfx/palette.lmp", Bytes(48, 7)},
            {"maps/two.bsp", Room()},
            {"maps/three.bsp", LevelBytes({{1, 2, 3}}, {{0, 0}})}};
}

// Entry 0 is a triangle level at position 12.
std::vector<ArchiveEntry> OneMap(Bytes level = Triangle()) { return {{"maps/one.bsp", std::move(level)}}; }

// An archive of one map whose level header field `at` is patched.
Bytes OneMapWith(size_t at, uint32_t value, Bytes level = Triangle()) {
    std::vector<ArchiveEntry> entries = OneMap(std::move(level));
    Bytes bytes = Archive(entries, 0);
    PutU32(bytes, LevelFieldAt(entries, 0, at), value);
    return bytes;
}

// An archive of one map whose entry says the level lies at filePos.
Bytes OneMapAt(int32_t filePos) {
    std::vector<ArchiveEntry> entries = OneMap();
    Bytes bytes = Archive(entries, 0);
    PutI32(bytes, DirectoryOffset(bytes) + DIR_NAME_SIZE, filePos);
    return bytes;
}

Bytes WithDirectory(Bytes bytes, int32_t offset, uint32_t length) {
    PutI32(bytes, PAK_DIR_OFFSET_AT, offset);
    PutU32(bytes, PAK_DIR_LENGTH_AT, length);
    return bytes;
}

// Two names that fill all 56 bytes and differ only in the last: both read as
// the same 55 characters, so choosing the second row loads the first entry.
std::string FullName(char last) { return "maps/" + std::string(50, 'n') + last; }

// A level inside an archive whose vertex and edge tables both lie over the
// archive's directory: three tables read from the same bytes.
Bytes TablesOverTheDirectory() {
    std::vector<ArchiveEntry> entries = {{"maps/one.bsp", Triangle()},
                                         {"maps/pad.bsp", Bytes(64 * 3, 0)}};
    Bytes bytes = Archive(entries, 0);
    int32_t base = ArchiveEntryPosition(entries, 0);
    int32_t dirOffset = int32_t(DirectoryOffset(bytes));
    uint32_t dirLength = uint32_t(GetI32(bytes, PAK_DIR_LENGTH_AT));
    PutI32(bytes, size_t(base) + LEVEL_VERTEX_OFFSET_AT, dirOffset - base);
    PutU32(bytes, size_t(base) + LEVEL_VERTEX_LENGTH_AT, dirLength);
    PutI32(bytes, size_t(base) + LEVEL_EDGE_OFFSET_AT, dirOffset - base);
    PutU32(bytes, size_t(base) + LEVEL_EDGE_LENGTH_AT, dirLength);
    return bytes;
}

}  // namespace

AllocationBound LoadAllocationBound(size_t fileSize, bool archive, bool surfaces) {
    uint64_t size = fileSize, directory = archive ? size : 0;
    if (surfaces) return {3 * size, directory + 6 * size};
    return {size, directory + 2 * size};
}

MapChoice MapChoiceFromLastByte(uint8_t last) { return {last & 0x7F, (last & 0x80) != 0}; }

void SetMapChoice(Bytes &archive, int row, bool okWithoutRow) {
    if (archive.empty()) return;
    archive.back() = uint8_t((row & 0x7F) | (okWithoutRow ? 0x80 : 0));
}

std::vector<HostileFile> HostileLevels(void) {
    const Bytes tri = Triangle();
    const uint32_t triSize = uint32_t(tri.size());  // 124 + 36 + 12
    std::vector<HostileFile> files = {
        Loads("triangle", tri),
        Loads("room", Room()),
        Loads("version-28", Triangle(28)),
        Loads("version-max", Triangle(INT32_MAX)),
        Fails("version-27", Triangle(27), BAD_VERSION),
        Fails("version-0", Triangle(0), BAD_VERSION),
        Fails("version-negative", Triangle(-1), BAD_VERSION),
        Fails("version-min", Triangle(INT32_MIN), BAD_VERSION),
        Fails("header-empty", Bytes(), BAD_HEADER),
        Fails("header-12", Resized(tri, 12), BAD_HEADER),
        Fails("header-123", Resized(tri, 123), BAD_HEADER),
        Loads("header-only", Resized(LevelBytes({}, {}), LEVEL_HEADER_SIZE)),
        // Empty tables are no failure wherever they point.
        Loads("tables-empty", WithEdgeLump(WithVertexLump(LevelBytes({}, {}), -5000, 0), INT32_MAX, 0)),
        // Lengths that are not whole records: the rest is read but not counted.
        Loads("records-partial", WithEdgeLump(WithVertexLump(tri, LEVEL_HEADER_SIZE, 25),
                                              LEVEL_HEADER_SIZE + 36, 10)),
        Fails("vertices-before-file", WithVertexLump(tri, -12, 12), BAD_VERTICES),
        Fails("vertices-4gib", WithVertexLump(tri, LEVEL_HEADER_SIZE, 0xFFFFFFF0u), BAD_VERTICES),
        Fails("vertices-past-end", WithVertexLump(tri, LEVEL_HEADER_SIZE + 12, 37), BAD_VERTICES),
        Fails("vertices-far", WithVertexLump(tri, 0x7FFFFFF0, 12), BAD_VERTICES),
        Fails("vertices-int-min", WithVertexLump(tri, INT32_MIN, 24), BAD_VERTICES),
        Fails("vertices-one-past", WithVertexLump(tri, 1, triSize), BAD_VERTICES),
        Fails("edges-2gib", WithField(tri, LEVEL_EDGE_LENGTH_AT, 0x80000000u), BAD_EDGES),
        Fails("edges-one-past", WithField(tri, LEVEL_EDGE_LENGTH_AT, 13), BAD_EDGES),
        Fails("edges-before-file", WithEdgeLump(tri, -4, 8), BAD_EDGES),
        Fails("edges-max-length", WithEdgeLump(tri, 0, 0xFFFFFFFFu), BAD_EDGES),
        Loads("edges-to-missing-vertices",
              LevelBytes(TRIANGLE, {{0, 1}, {1, 3}, {65535, 0}, {2, 2}, {3, 3}, {0, 65535}})),
        Loads("edges-without-vertices", LevelBytes({}, {{0, 1}, {0, 0}})),
        // Both tables read from the same bytes, and both over the header.
        Loads("tables-overlap", WithEdgeLump(tri, LEVEL_HEADER_SIZE, 36)),
        Loads("tables-whole-file", WithEdgeLump(WithVertexLump(tri, 0, triSize), 0, triSize)),
        Loads("nan-first", LevelBytes({{QUIET_NAN, QUIET_NAN, QUIET_NAN}, {1, 2, 3}, {-4, 5, -6}},
                                      {{0, 1}, {1, 2}, {2, 0}})),
        Loads("nan-later", LevelBytes({{1, 2, 3}, {QUIET_NAN, 0, QUIET_NAN}, {-4, 5, -6}, {9, QUIET_NAN, 9}},
                                      {{0, 1}, {1, 2}, {2, 3}, {3, 0}})),
        Loads("infinities", LevelBytes({{-POSITIVE_INFINITY, 0, 0}, {POSITIVE_INFINITY, 1, 1}, {0, POSITIVE_INFINITY, -POSITIVE_INFINITY}, {5, 5, 5}},
                                       {{0, 1}, {1, 2}, {2, 3}, {3, 0}})),
        Loads("huge", LevelBytes({{-FLT_MAX, -FLT_MAX, -FLT_MAX}, {FLT_MAX, FLT_MAX, FLT_MAX},
                                  {0, 0, 0}, {FLT_MAX, -FLT_MAX, 0}},
                                 {{0, 1}, {1, 2}, {2, 3}, {3, 0}})),
        Loads("near-int32", LevelBytes({{-BELOW_2_POW_31, 0, -k2p31}, {BELOW_2_POW_31, k2p31, 0},
                                        {0, -k2p31, BELOW_2_POW_31}},
                                       {{0, 1}, {1, 2}, {2, 0}})),
        Loads("denormals", LevelBytes({{TINY, -TINY, 0}, {-0.0f, TINY, -TINY}, {0, 0, 1e-30f}},
                                      {{0, 1}, {1, 2}})),
        Loads("one-point", LevelBytes({{7, 7, 7}, {7, 7, 7}}, {{0, 1}, {1, 0}, {0, 0}})),
        // The variants of the header: 32-bit indices, the longer headers.
        Loads("bsp2", Variant(VARIANT_BSP2)),
        Loads("2psb", Variant(VARIANT_2PSB)),
        Loads("ibsp", Variant(VARIANT_IBSP)),
        Loads("qbsp", Variant(VARIANT_QBSP)),
        Loads("vbsp-19", Variant(VARIANT_VBSP, VBSP.versionAt, 19)),
        Loads("vbsp-21", Variant(VARIANT_VBSP, VBSP.versionAt, 21)),
        Loads("ident-near-miss", WithField(Triangle(), 0, 0x33505342)),  // "BSP3": a version
        Loads("bsp2-edges-to-missing-vertices",
              VariantLevelBytes(VARIANT_BSP2, TRIANGLE, {{0, 1}, {65536, 0}, {2, 0xFFFFFFFFu}, {3, 3}})),
        Loads("bsp2-records-partial", Variant(VARIANT_BSP2, BSP2.edgeLumpAt + 4, 20)),
        Fails("ibsp-version-37", Variant(VARIANT_IBSP, IBSP.versionAt, 37), IBSP_37),
        Fails("qbsp-version-46", Variant(VARIANT_QBSP, IBSP.versionAt, 46), QBSP_46),
        Fails("vbsp-version-22", Variant(VARIANT_VBSP, VBSP.versionAt, 22), VBSP_22),
        Fails("vbsp-version-min", Variant(VARIANT_VBSP, VBSP.versionAt, 0x80000000u), VBSP_MINUS),
        Fails("vbsp-compressed-vertices", Variant(VARIANT_VBSP, VBSP.vertexLumpAt + 12, 0x414D5A4C), COMPRESSED),
        Fails("vbsp-compressed-edges", Variant(VARIANT_VBSP, VBSP.edgeLumpAt + 12, 1), COMPRESSED),
        Fails("ibsp-header-cut", Resized(Variant(VARIANT_IBSP), IBSP.headerSize - 1), BAD_HEADER),
        Fails("vbsp-header-124", Resized(Variant(VARIANT_VBSP), LEVEL_HEADER_SIZE), BAD_HEADER),
        Fails("vbsp-header-cut", Resized(Variant(VARIANT_VBSP), VBSP.headerSize - 1), BAD_HEADER),
        Fails("ibsp-vertices-4gib", Variant(VARIANT_IBSP, IBSP.vertexLumpAt + 4, 0xFFFFFFF4u), BAD_VERTICES),
        Fails("vbsp-vertices-before-file", Variant(VARIANT_VBSP, VBSP.vertexLumpAt, uint32_t(-12)), BAD_VERTICES),
        Fails("bsp2-edges-one-past", Variant(VARIANT_BSP2, BSP2.edgeLumpAt + 4, 25), BAD_EDGES),
        Fails("vbsp-edges-far", Variant(VARIANT_VBSP, VBSP.edgeLumpAt, 0x7FFFFFF0u), BAD_EDGES),
        // The layouts that store surfaces.
        Loads("ibsp46", Surfaces(SURFACES_IBSP)),
        Loads("ibsp47", Surfaces(SURFACES_IBSP, 4, 47)),
        Loads("rbsp", Surfaces(SURFACES_RBSP)),
        Loads("ibsp46-out-of-bounds", SurfacesOutOfBounds()),
        Loads("rbsp-sharing-indices", SurfacesSharingIndices()),
        Loads("ibsp46-empty", SurfaceLevelBytes(SURFACES_IBSP, SurfaceLevel())),
        Fails("ibsp-version-45", Surfaces(SURFACES_IBSP, 4, 45), IBSP_45),
        Fails("rbsp-version-2", Surfaces(SURFACES_RBSP, 4, 2), RBSP_2),
        Fails("ibsp46-header-cut", Resized(Surfaces(SURFACES_IBSP), IBSP46.headerSize - 1), BAD_HEADER),
        Fails("rbsp-header-cut", Resized(Surfaces(SURFACES_RBSP), RBSP.headerSize - 1), BAD_HEADER),
        Fails("ibsp46-draw-vertices-4gib", Surfaces(SURFACES_IBSP, IBSP46.drawVerticesAt + 4, 0xFFFFFFF0u),
              BAD_VERTICES),
        Fails("rbsp-indices-before-file", Surfaces(SURFACES_RBSP, RBSP.indicesAt, uint32_t(-4)), BAD_EDGES),
        Fails("ibsp46-surfaces-past-end", Surfaces(SURFACES_IBSP, IBSP46.surfacesAt + 4, 0x10000), BAD_EDGES),
    };
    return files;
}

std::vector<HostileFile> HostileArchives(void) {
    std::vector<ArchiveEntry> three = ThreeMaps();
    const Bytes valid = Archive(three, 1);
    const int32_t size = int32_t(valid.size());
    const int32_t dirOffset = int32_t(DirectoryOffset(valid));

    Bytes wrongMagic = valid;
    std::memcpy(wrongMagic.data(), "PAK ", 4);
    Bytes lowerMagic = valid;
    std::memcpy(lowerMagic.data(), "pack", 4);

    // Entry 0 is a map, entry 1 not; a directory of 100 bytes holds entry 0
    // whole and 36 bytes of entry 1.
    Bytes partialDirectory = Archive({{"maps/one.bsp", Triangle()}, {"gfx/x.lmp", Bytes(8, 1)}}, 0);
    PutU32(partialDirectory, PAK_DIR_LENGTH_AT, 100);

    // In each pair the entry that must not be loaded is a refused level, so
    // loading it would show up as a failure.
    std::vector<ArchiveEntry> prefixed = {{"maps/hall.bsp.old", Triangle(27)},
                                          {"maps/hall.bsp", Triangle()}};
    std::vector<ArchiveEntry> duplicated = {{"maps/twice.bsp", Triangle()},
                                            {"maps/twice.bsp", Triangle(27)}};
    std::vector<ArchiveEntry> unterminated = {{FullName('a'), Triangle()},
                                              {FullName('b'), Triangle(27)}};

    std::vector<ArchiveEntry> oneMap = OneMap();
    const int32_t oneMapSize = int32_t(ArchiveBytes(oneMap).size());

    std::vector<HostileFile> files = {
        Loads("three-maps", valid),
        Loads("three-maps-first", Archive(three, 0)),
        Loads("three-maps-last", Archive(three, 2)),
        ChoosesNothing("three-maps-no-such-row", Archive(three, 3)),
        ChoosesNothing("three-maps-ok-without-row", Archive(three, 100, true)),
        Fails("header-empty", Bytes(), BAD_PAK_HEADER),
        Fails("header-4", Resized(valid, 4), BAD_PAK_HEADER),
        Fails("header-11", Resized(valid, 11), BAD_PAK_HEADER),
        Fails("magic-wrong", wrongMagic, NOT_PAK),
        Fails("magic-lower-case", lowerMagic, NOT_PAK),
        Fails("magic-level", Triangle(), NOT_PAK),
        Fails("directory-past-end", WithDirectory(valid, size, 64), BAD_DIRECTORY),
        Fails("directory-one-past", WithDirectory(valid, dirOffset + 1, uint32_t(size - dirOffset)),
              BAD_DIRECTORY),
        Fails("directory-negative", WithDirectory(valid, -64, 64), BAD_DIRECTORY),
        Fails("directory-int-min", WithDirectory(valid, INT32_MIN, 64), BAD_DIRECTORY),
        Fails("directory-4gib", WithDirectory(valid, dirOffset, 0xFFFFFFFFu), BAD_DIRECTORY),
        Fails("directory-far", WithDirectory(valid, INT32_MAX, 64), BAD_DIRECTORY),
        ChoosesNothing("directory-empty", WithDirectory(valid, -1, 0)),
        Loads("directory-100-bytes", partialDirectory),
        ChoosesNothing("directory-whole-file", WithDirectory(valid, 0, uint32_t(size) & ~63u)),
        ChoosesNothing("no-maps", Archive({{"readme.txt", {'x'}}, {"gfx/a.lmp", Bytes(16, 2)}}, 0)),
        ChoosesNothing("no-entries", Archive({}, 0)),
        Loads("names-without-terminator", Archive(unterminated, 1)),
        Loads("name-prefix", Archive(prefixed, 1)),
        Loads("names-duplicated", Archive(duplicated, 1)),
        Fails("level-past-end", OneMapAt(oneMapSize), BAD_HEADER),
        Fails("level-negative", OneMapAt(-1), BAD_HEADER),
        Fails("level-int-max", OneMapAt(INT32_MAX), BAD_HEADER),
        Fails("level-header-cut", OneMapAt(oneMapSize - LEVEL_HEADER_SIZE + 1), BAD_HEADER),
        Fails("level-version-27", OneMapWith(LEVEL_VERSION_OFFSET, 27), BAD_VERSION),
        // base + offset wraps past 2^31 and turns negative.
        Fails("level-vertices-wrap", OneMapWith(LEVEL_VERTEX_OFFSET_AT, INT32_MAX), BAD_VERTICES),
        Fails("level-edges-wrap", OneMapWith(LEVEL_EDGE_OFFSET_AT, 0x7FFFFFF8u), BAD_EDGES),
        Fails("level-edges-4gib", OneMapWith(LEVEL_EDGE_LENGTH_AT, 0xFFFFFFFCu), BAD_EDGES),
        // A negative offset may reach back before the level: here the vertex
        // table is the archive header itself.
        Loads("level-vertices-behind", OneMapWith(LEVEL_VERTEX_OFFSET_AT, uint32_t(-PAK_HEADER_SIZE))),
        Loads("level-tables-over-directory", TablesOverTheDirectory()),
        // One map in each variant of the header; the last byte picks the
        // "IBSP" one, and the fuzzer any other.
        Loads("variants", Archive({{"maps/bsp.bsp", Triangle()}, {"maps/bsp2.bsp", Variant(VARIANT_BSP2)},
                                   {"maps/2psb.bsp", Variant(VARIANT_2PSB)}, {"maps/ibsp.bsp", Variant(VARIANT_IBSP)},
                                   {"maps/vbsp.bsp", Variant(VARIANT_VBSP)}, {"maps/ibsp46.bsp", Surfaces(SURFACES_IBSP)},
                                   {"maps/rbsp.bsp", Surfaces(SURFACES_RBSP)}}, 3)),
        Fails("level-rbsp-surfaces-wrap", OneMapWith(RBSP.surfacesAt, 0x7FFFFFF8u, Surfaces(SURFACES_RBSP)), BAD_EDGES),
        // The directory's 64 bytes follow the cut header: still too few.
        Fails("level-vbsp-header-cut", Archive(OneMap(Resized(Variant(VARIANT_VBSP), 900)), 0), BAD_HEADER),
        Fails("level-ibsp-version-37", OneMapWith(IBSP.versionAt, 37, Variant(VARIANT_IBSP)), IBSP_37),
        Fails("level-vbsp-compressed", OneMapWith(VBSP.edgeLumpAt + 12, 2, Variant(VARIANT_VBSP)), COMPRESSED),
        Fails("level-bsp2-edges-wrap", OneMapWith(BSP2.edgeLumpAt, 0x7FFFFFF8u, Variant(VARIANT_BSP2)), BAD_EDGES),
    };
    return files;
}

std::vector<HostileFile> HostileViewInputs(void) {
    // Byte 0 is the vertex count; see LevelFromViewInput.
    auto input = [](const std::vector<Vertex> &v, const std::vector<Edge> &e) {
        Bytes bytes(1, uint8_t(v.size()));
        const uint8_t *pv = reinterpret_cast<const uint8_t *>(v.data());
        const uint8_t *pe = reinterpret_cast<const uint8_t *>(e.data());
        bytes.insert(bytes.end(), pv, pv + v.size() * sizeof(Vertex));
        bytes.insert(bytes.end(), pe, pe + e.size() * sizeof(Edge));
        return bytes;
    };
    // The same with 32-bit indices: the top bit of byte 0 set.
    auto wide = [](const std::vector<Vertex> &v, const std::vector<WideEdge> &e) {
        Bytes bytes(1, uint8_t(0x80 | v.size()));
        const uint8_t *pv = reinterpret_cast<const uint8_t *>(v.data());
        const uint8_t *pe = reinterpret_cast<const uint8_t *>(e.data());
        bytes.insert(bytes.end(), pv, pv + v.size() * sizeof(Vertex));
        bytes.insert(bytes.end(), pe, pe + e.size() * sizeof(WideEdge));
        return bytes;
    };
    std::vector<Edge> ring = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {0, 2}, {1, 3}};
    return {
        Loads("triangle", input(TRIANGLE, TRIANGLE_EDGES)),
        Loads("nan", input({{QUIET_NAN, 1, 2}, {3, QUIET_NAN, 4}, {5, 6, QUIET_NAN}, {0, 0, 0}}, ring)),
        Loads("infinities", input({{-POSITIVE_INFINITY, 1, 2}, {POSITIVE_INFINITY, -POSITIVE_INFINITY, 4}, {5, POSITIVE_INFINITY, POSITIVE_INFINITY}, {0, 0, -POSITIVE_INFINITY}}, ring)),
        Loads("huge", input({{-FLT_MAX, 0, 0}, {FLT_MAX, FLT_MAX, 0}, {0, -FLT_MAX, FLT_MAX},
                             {1, 1, -FLT_MAX}}, ring)),
        Loads("near-int32", input({{-BELOW_2_POW_31, -k2p31, 0}, {BELOW_2_POW_31, k2p31, 1},
                                   {k2p31, 0, -BELOW_2_POW_31}, {0, BELOW_2_POW_31, k2p31}}, ring)),
        Loads("flat", input({{0, 0, 5}, {100, 0, 5}, {100, 50, 5}, {0, 50, 5}}, ring)),
        Loads("sliver", input({{0, 0, 0}, {1e-6f, 0, 0}, {0, 1e-6f, 1e-6f}, {TINY, TINY, TINY}}, ring)),
        Loads("missing-vertices", input({{0, 0, 0}, {10, 10, 10}}, {{0, 1}, {0, 2}, {65535, 1}, {1, 1}})),
        Loads("no-vertices", input({}, {{0, 0}, {1, 2}})),
        Loads("steep", input({{0, 0, 0}, {1, 1000000, 3}, {-1, -1000000, 2}, {1000000, 1, -3}}, ring)),
        Loads("wide", wide({{0, 0, 0}, {10, 20, 30}, {-5, 7, 1}},
                           {{0, 1}, {1, 2}, {2, 0}, {65536, 1}, {1, 0xFFFFFFFFu}, {0x10002, 0}})),
    };
}

Bytes LevelFromViewInput(const uint8_t *data, size_t size) {
    if (size == 0) return LevelBytes({}, {});
    size_t wanted = data[0] & 0x7F;
    bool wide = (data[0] & 0x80) != 0;
    size_t available = (size - 1) / sizeof(Vertex);
    size_t vertexCount = wanted < available ? wanted : available;
    std::vector<Vertex> vertices(vertexCount);
    const uint8_t *p = data + 1;
    if (vertexCount) std::memcpy(vertices.data(), p, vertexCount * sizeof(Vertex));
    p += vertexCount * sizeof(Vertex);
    size_t rest = size - 1 - vertexCount * sizeof(Vertex);
    if (wide) {
        std::vector<WideEdge> edges(rest / sizeof(WideEdge));
        if (!edges.empty()) std::memcpy(edges.data(), p, edges.size() * sizeof(WideEdge));
        return VariantLevelBytes(VARIANT_BSP2, vertices, edges);
    }
    std::vector<Edge> edges(rest / sizeof(Edge));
    if (!edges.empty()) std::memcpy(edges.data(), p, edges.size() * sizeof(Edge));
    return LevelBytes(vertices, edges);
}

std::vector<HostileFile> HostileOverlayInputs(void) {
    auto input = [](bool portals, const std::string &text) {
        Bytes bytes(1, uint8_t(portals));
        bytes.insert(bytes.end(), text.begin(), text.end());
        return bytes;
    };
    const std::string portal = "4 0 1 (0 0 0) (64 0 0) (64 0 32) (0 0 32)\n";
    const std::string endsEarly = "Portals: line 5: the file ends after 1 of 2 portals";
    return {
        Loads("leak", input(false, "-300 -200 50\n400.5 300.25 100\n1000 1500 1800\n")),
        Loads("leak-crlf-blank", input(false, "1 2 3\r\n\r\n4 5 6\r\n")),
        Loads("leak-extremes", input(false, "3.4028235e38 -3.4028235e38 1e-45\n-0 0 +1\n")),
        Fails("leak-broken", input(false, "1 2 3\n4 5\n"), "Leak trace: line 2: expected three numbers x y z"),
        Loads("prt1", input(true, "PRT1\n3\n1\n" + portal)),
        Loads("prt1-faces", input(true, "PRT1\n3\n1\n2\n4 0 1 1 (0 0 0) (64 0 0) (64 0 32) (0 0 32)\n4 0 (1 1 1) (2 2 2) (3 3 3) (4 4 4)\n")),
        Loads("prt1-am", input(true, "PRT1-AM\n2\n1\n3\n" + portal + "0\n0\n1\n")),
        Loads("prt2", input(true, "PRT2\n3\n2\n1\n" + portal + "0\n1\n1\n")),
        Fails("prt-ends-early", input(true, "PRT1\n3\n2\n" + portal), endsEarly.c_str()),
        Fails("prt-huge-count", input(true, "PRT1\n3\n999999999999\n" + portal),
              "Portals: line 5: the file ends after 1 of 999999999999 portals"),
        Fails("prt-unknown", input(true, "PRT9\n"), "Portals: line 1: expected PRT1, PRT1-AM or PRT2"),
    };
}
