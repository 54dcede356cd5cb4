// level_writer.h - writes levels and archives byte for byte, for tests,
// benchmarks, fuzz seeds and the demo files.
//
// The writer lays files out plainly so that tests can patch any field
// afterwards with PutI32/PutU32 at a known offset:
//
//   level:   [header][vertex table][edge table], or for the layouts that
//            store surfaces [header][draw vertices][index table][surfaces]
//   archive: [12-byte header][entry data, in order][directory]
//
// A level's header is the original 124-byte one or one of its variants
// (LEVEL_VARIANTS). Lumps other than the vertex and edge tables get
// recognisable junk values, and so do the fields of the used lumps that the
// reader must not look at, so a reader that looked at them would go wrong
// visibly.
#ifndef KORVITAN_LEVEL_WRITER_H
#define KORVITAN_LEVEL_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

#include "map/records.h"

typedef std::vector<uint8_t> Bytes;

enum {
    LEVEL_HEADER_SIZE = 124,
    LEVEL_VERSION_OFFSET = 0,
    LEVEL_VERTEX_OFFSET_AT = 4 + 8 * BSP_LUMP_VERTICES,   // 28
    LEVEL_VERTEX_LENGTH_AT = 8 + 8 * BSP_LUMP_VERTICES,   // 32
    LEVEL_EDGE_OFFSET_AT = 4 + 8 * BSP_LUMP_EDGES,        // 100
    LEVEL_EDGE_LENGTH_AT = 8 + 8 * BSP_LUMP_EDGES,        // 104
    PAK_HEADER_SIZE = 12,
    PAK_DIR_OFFSET_AT = 4,
    PAK_DIR_LENGTH_AT = 8,
};

// A whole level in the original layout: header, then vertices, then edges.
Bytes LevelBytes(const std::vector<Vertex> &vertices, const std::vector<Edge> &edges,
                 int32_t version = 29);

// The layouts a level can be written in, in the order of LEVEL_VARIANTS.
enum LevelVariant { VARIANT_BSP, VARIANT_BSP2, VARIANT_2PSB, VARIANT_IBSP, VARIANT_QBSP, VARIANT_VBSP };
enum { LEVEL_VARIANT_COUNT = 6 };

// Where a variant keeps what the reader reads; every position is a byte of
// the level header. A lump entry starts with its offset, then its length;
// in the wide-lump header ("VBSP") a lump version and a 4-byte code follow.
struct LevelVariantLayout {
    LevelVariant variant;
    const char *name;       // as korvitan-cli's info prints the format
    const char *ident;      // the first four bytes, or null: the version is there
    uint32_t headerSize;
    uint32_t versionAt;     // the version that info prints (bytes 0-3 without ident)
    int32_t version;        // the version the writer puts there
    uint32_t lumpsAt, lumpSize, lumpCount;
    uint32_t vertexLumpAt;  // the vertex lump's entry
    uint32_t edgeLumpAt;    // the edge lump's entry
    uint32_t edgeSize;      // bytes per edge: 4 (16-bit indices) or 8 (32-bit)
};
extern const LevelVariantLayout LEVEL_VARIANTS[LEVEL_VARIANT_COUNT];

// A whole level in the given variant: header, vertices, edges in the
// variant's record width. Empty when an index does not fit that width.
Bytes VariantLevelBytes(LevelVariant variant, const std::vector<Vertex> &vertices,
                        const std::vector<WideEdge> &edges);
std::vector<WideEdge> WidenEdges(const std::vector<Edge> &edges);

// ---- Levels that store surfaces instead of an edge table ---------------------------
// Laid out [header][draw vertices][index table][surfaces]. Every other lump
// and every byte of a record the reader must not use holds junk, as above.

enum SurfaceVariant { SURFACES_IBSP, SURFACES_RBSP };
enum { SURFACE_VARIANT_COUNT = 2 };

// Where each layout keeps what the reader reads: header bytes for the lump
// entries and the version, record sizes, and where in a surface record its
// patch width lies (the height follows).
struct SurfaceVariantLayout {
    SurfaceVariant variant;
    const char *name;   // as korvitan-cli's info prints the format
    const char *ident;  // the first four bytes
    int32_t version;    // the version the writer puts at bytes 4-7
    uint32_t headerSize, lumpCount;
    uint32_t drawVerticesAt, indicesAt, surfacesAt;  // the lumps' entries
    uint32_t drawVertexSize, surfaceSize, patchWidthAt;
};
extern const SurfaceVariantLayout SURFACE_VARIANTS[SURFACE_VARIANT_COUNT];

// The numbers of one surface record (shader and fog get junk).
struct SurfaceSpec {
    int32_t type;  // 1 planar, 2 patch, 3 triangle soup; anything else
    int32_t firstVertex, vertexCount;
    int32_t firstIndex, indexCount;
    int32_t patchWidth, patchHeight;
};

// The three tables of a level that stores surfaces.
struct SurfaceLevel {
    std::vector<Vertex> positions;  // one draw vertex each
    std::vector<int32_t> indices;
    std::vector<SurfaceSpec> surfaces;
    Bytes lightMaps;  // lump 14, after the surfaces; the reader skips it
};

// A polygon as a planar surface: draw vertices of its own (its corners, in
// order) and its triangles as a fan from the first corner, (0, i, i + 1);
// the outline is the polygon, each side from a corner to the next.
void AddPlanarFace(SurfaceLevel *level, const std::vector<Vertex> &corners);
// A patch: its control points row after row, width points to a row.
void AddPatch(SurfaceLevel *level, int32_t width, int32_t height, const std::vector<Vertex> &points);
// A triangle soup over its own points: triples of numbers into them.
void AddSoup(SurfaceLevel *level, const std::vector<Vertex> &points, const std::vector<int32_t> &triangles);

// A whole level in the layout, with `version` at bytes 4-7 (0: the
// layout's own).
Bytes SurfaceLevelBytes(SurfaceVariant variant, const SurfaceLevel &level, int32_t version = 0);

struct ArchiveEntry {
    std::string name;  // up to 56 bytes; exactly 56 leaves no terminator
    Bytes data;
};

// A whole archive: header, each entry's data in order, then the directory.
Bytes ArchiveBytes(const std::vector<ArchiveEntry> &entries);

// Where entry i's data starts in an archive written by ArchiveBytes.
int32_t ArchiveEntryPosition(const std::vector<ArchiveEntry> &entries, size_t i);

void PutI32(Bytes &bytes, size_t at, int32_t value);
void PutU32(Bytes &bytes, size_t at, uint32_t value);
int32_t GetI32(const Bytes &bytes, size_t at);

// Writes the bytes to path; returns 1 on success.
int WriteBytesToFile(const std::string &path, const Bytes &bytes);

#endif
