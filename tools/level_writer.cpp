// level_writer.cpp - see level_writer.h.
#include "tools/level_writer.h"

#include <cstdio>
#include <cstring>

void PutU32(Bytes &bytes, size_t at, uint32_t value) {
    if (bytes.size() < at + 4) bytes.resize(at + 4);
    for (int i = 0; i < 4; i++) bytes[at + i] = uint8_t(value >> (8 * i));
}

void PutI32(Bytes &bytes, size_t at, int32_t value) { PutU32(bytes, at, uint32_t(value)); }

int32_t GetI32(const Bytes &bytes, size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) v |= uint32_t(bytes[at + i]) << (8 * i);
    return int32_t(v);
}

static void Append(Bytes &bytes, const void *data, size_t n) {
    const uint8_t *p = static_cast<const uint8_t *>(data);
    bytes.insert(bytes.end(), p, p + n);
}

// The positions below are those of the formats' byte layouts; the reader
// finds them through its own structs (map/records.h), so the two check
// each other.
const LevelVariantLayout LEVEL_VARIANTS[LEVEL_VARIANT_COUNT] = {
    {VARIANT_BSP, "bsp", nullptr, 124, 0, 29, 4, 8, 15, 4 + 8 * 3, 4 + 8 * 12, 4},
    {VARIANT_BSP2, "bsp2", "BSP2", 124, 0, 0, 4, 8, 15, 4 + 8 * 3, 4 + 8 * 12, 8},
    {VARIANT_2PSB, "2psb", "2PSB", 124, 0, 0, 4, 8, 15, 4 + 8 * 3, 4 + 8 * 12, 8},
    {VARIANT_IBSP, "ibsp", "IBSP", 160, 4, 38, 8, 8, 19, 8 + 8 * 2, 8 + 8 * 11, 4},
    {VARIANT_QBSP, "qbsp", "QBSP", 160, 4, 38, 8, 8, 19, 8 + 8 * 2, 8 + 8 * 11, 8},
    {VARIANT_VBSP, "vbsp", "VBSP", 1036, 4, 20, 8, 16, 64, 8 + 16 * 3, 8 + 16 * 12, 4},
};

std::vector<WideEdge> WidenEdges(const std::vector<Edge> &edges) {
    std::vector<WideEdge> wide;
    wide.reserve(edges.size());
    for (const Edge &e : edges) wide.push_back(WideEdge{e.first, e.second});
    return wide;
}

// Every lump's entry filled with junk: offsets far outside the file,
// lengths near 4 GiB, and in the wide-lump header a lump version and a code
// that are not zero.
static void PutJunkLumps(Bytes &bytes, const LevelVariantLayout &layout) {
    for (uint32_t lump = 0; lump < layout.lumpCount; lump++) {
        size_t at = layout.lumpsAt + layout.lumpSize * lump;
        PutI32(bytes, at, -0x41414141 + int32_t(lump));
        PutU32(bytes, at + 4, 0xFFFFFFF0u - lump);
        if (layout.lumpSize == 16) {
            PutU32(bytes, at + 8, 0x5A5A0000u + lump);
            PutU32(bytes, at + 12, 0x4A4B4C4Du);
        }
    }
}

// The lump entry at `at` names `length` bytes at `offset`; its code (in the
// wide-lump header) says it is stored as it is.
static void PutLump(Bytes &bytes, const LevelVariantLayout &layout, size_t at, uint32_t offset,
                    uint32_t length) {
    PutU32(bytes, at, offset);
    PutU32(bytes, at + 4, length);
    if (layout.lumpSize == 16) PutU32(bytes, at + 12, 0);
}

Bytes VariantLevelBytes(LevelVariant variant, const std::vector<Vertex> &vertices,
                        const std::vector<WideEdge> &edges) {
    const LevelVariantLayout &layout = LEVEL_VARIANTS[variant];
    Bytes table;  // the edge records in the variant's width
    for (const WideEdge &e : edges) {
        if (layout.edgeSize == 8) {
            Append(table, &e, sizeof e);
            continue;
        }
        if (e.first > 0xFFFF || e.second > 0xFFFF) return Bytes();
        Edge narrow = {uint16_t(e.first), uint16_t(e.second)};
        Append(table, &narrow, sizeof narrow);
    }
    Bytes bytes(layout.headerSize, 0);
    PutJunkLumps(bytes, layout);
    if (layout.ident) std::memcpy(bytes.data(), layout.ident, 4);
    if (layout.version) PutI32(bytes, layout.versionAt, layout.version);
    if (layout.lumpSize == 16)  // the map revision, after the lumps
        PutI32(bytes, layout.lumpsAt + layout.lumpSize * layout.lumpCount, 4242);
    uint32_t vertexLength = uint32_t(vertices.size() * sizeof(Vertex));
    PutLump(bytes, layout, layout.vertexLumpAt, layout.headerSize, vertexLength);
    PutLump(bytes, layout, layout.edgeLumpAt, layout.headerSize + vertexLength, uint32_t(table.size()));
    Append(bytes, vertices.data(), vertexLength);
    Append(bytes, table.data(), table.size());
    return bytes;
}

// ---- Levels that store surfaces ------------------------------------------------------

const SurfaceVariantLayout SURFACE_VARIANTS[SURFACE_VARIANT_COUNT] = {
    {SURFACES_IBSP, "ibsp", "IBSP", 46, 144, 17, 8 + 8 * 10, 8 + 8 * 11, 8 + 8 * 13, 44, 104, 96},
    {SURFACES_RBSP, "rbsp", "RBSP", 1, 152, 18, 8 + 8 * 10, 8 + 8 * 11, 8 + 8 * 13, 80, 148, 140},
};

void AddPlanarFace(SurfaceLevel *level, const std::vector<Vertex> &corners) {
    int32_t first = int32_t(level->positions.size()), n = int32_t(corners.size());
    int32_t firstIndex = int32_t(level->indices.size());
    level->positions.insert(level->positions.end(), corners.begin(), corners.end());
    for (int32_t i = 1; i + 1 < n; i++) level->indices.insert(level->indices.end(), {0, i, i + 1});
    level->surfaces.push_back({1, first, n, firstIndex, int32_t(level->indices.size()) - firstIndex, 0, 0});
}

void AddPatch(SurfaceLevel *level, int32_t width, int32_t height, const std::vector<Vertex> &points) {
    int32_t first = int32_t(level->positions.size());
    level->positions.insert(level->positions.end(), points.begin(), points.end());
    level->surfaces.push_back({2, first, int32_t(points.size()), 0, 0, width, height});
}

void AddSoup(SurfaceLevel *level, const std::vector<Vertex> &points, const std::vector<int32_t> &triangles) {
    int32_t first = int32_t(level->positions.size()), firstIndex = int32_t(level->indices.size());
    level->positions.insert(level->positions.end(), points.begin(), points.end());
    level->indices.insert(level->indices.end(), triangles.begin(), triangles.end());
    level->surfaces.push_back(
        {3, first, int32_t(points.size()), firstIndex, int32_t(triangles.size()), 0, 0});
}

// The bytes of a draw vertex after its position (normal, texture and
// light map coordinates, colour) and of a surface between its seven
// numbers and its patch size: a pattern of large floats, so a reader that
// took them for positions or numbers would go wrong visibly.
static void AppendJunk(Bytes &bytes, size_t n) {
    for (size_t i = 0; i < n; i++) bytes.push_back(uint8_t(i % 4 == 3 ? 0x7E : 0xA5 + i));
}

Bytes SurfaceLevelBytes(SurfaceVariant variant, const SurfaceLevel &level, int32_t version) {
    const SurfaceVariantLayout &layout = SURFACE_VARIANTS[variant];
    LevelVariantLayout lumps = {};  // what PutJunkLumps needs of a layout
    lumps.lumpsAt = 8;
    lumps.lumpSize = 8;
    lumps.lumpCount = layout.lumpCount;
    Bytes bytes(layout.headerSize, 0);
    PutJunkLumps(bytes, lumps);
    std::memcpy(bytes.data(), layout.ident, 4);
    PutI32(bytes, 4, version ? version : layout.version);

    uint32_t vertexLength = uint32_t(level.positions.size() * layout.drawVertexSize);
    uint32_t indexLength = uint32_t(level.indices.size() * sizeof(int32_t));
    uint32_t surfaceLength = uint32_t(level.surfaces.size() * layout.surfaceSize);
    PutLump(bytes, lumps, layout.drawVerticesAt, layout.headerSize, vertexLength);
    PutLump(bytes, lumps, layout.indicesAt, layout.headerSize + vertexLength, indexLength);
    PutLump(bytes, lumps, layout.surfacesAt, layout.headerSize + vertexLength + indexLength, surfaceLength);
    if (!level.lightMaps.empty())
        PutLump(bytes, lumps, 8 + 8 * 14, layout.headerSize + vertexLength + indexLength + surfaceLength,
                uint32_t(level.lightMaps.size()));
    for (const Vertex &v : level.positions) {
        Append(bytes, &v, sizeof v);
        AppendJunk(bytes, layout.drawVertexSize - sizeof v);
    }
    Append(bytes, level.indices.data(), indexLength);
    for (const SurfaceSpec &s : level.surfaces) {
        const int32_t head[7] = {0x41414141, -0x1234, s.type, s.firstVertex, s.vertexCount, s.firstIndex,
                                 s.indexCount};
        Append(bytes, head, sizeof head);
        AppendJunk(bytes, layout.patchWidthAt - sizeof head);
        const int32_t grid[2] = {s.patchWidth, s.patchHeight};
        Append(bytes, grid, sizeof grid);
    }
    Append(bytes, level.lightMaps.data(), level.lightMaps.size());
    return bytes;
}

Bytes LevelBytes(const std::vector<Vertex> &vertices, const std::vector<Edge> &edges,
                 int32_t version) {
    Bytes bytes = VariantLevelBytes(VARIANT_BSP, vertices, WidenEdges(edges));
    PutI32(bytes, LEVEL_VERSION_OFFSET, version);
    return bytes;
}

int32_t ArchiveEntryPosition(const std::vector<ArchiveEntry> &entries, size_t i) {
    size_t pos = PAK_HEADER_SIZE;
    for (size_t k = 0; k < i; k++) pos += entries[k].data.size();
    return int32_t(pos);
}

Bytes ArchiveBytes(const std::vector<ArchiveEntry> &entries) {
    Bytes bytes(PAK_HEADER_SIZE, 0);
    std::memcpy(bytes.data(), "PACK", 4);
    for (const ArchiveEntry &entry : entries) Append(bytes, entry.data.data(), entry.data.size());
    int32_t dirOffset = int32_t(bytes.size());
    for (size_t i = 0; i < entries.size(); i++) {
        DirEntry record;
        std::memset(&record, 0, sizeof record);
        std::memcpy(record.name, entries[i].name.data(),
                    entries[i].name.size() < DIR_NAME_SIZE ? entries[i].name.size()
                                                           : size_t(DIR_NAME_SIZE));
        record.filePos = ArchiveEntryPosition(entries, i);
        record.fileLength = int32_t(entries[i].data.size());
        Append(bytes, &record, sizeof record);
    }
    PutI32(bytes, PAK_DIR_OFFSET_AT, dirOffset);
    PutU32(bytes, PAK_DIR_LENGTH_AT, uint32_t(entries.size() * sizeof(DirEntry)));
    return bytes;
}

int WriteBytesToFile(const std::string &path, const Bytes &bytes) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), f);
    int closed = std::fclose(f) == 0;
    return closed && written == bytes.size();
}
