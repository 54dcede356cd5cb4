// records.h - the on-disk records of levels and archives, used in place.
//
// Every table is read with one read into one heap block and its records are
// used exactly as they lie in the file, so these structs must match the file
// layout byte for byte. All integers and floats are little-endian; the
// static_asserts below refuse a build whose layout or byte order differs.
#ifndef KORVITAN_MAP_RECORDS_H
#define KORVITAN_MAP_RECORDS_H

#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "records are used in place and are little-endian on disk");

// One point of the level: three 32-bit floats.
struct Vertex {
    float x;
    float y;
    float z;
};

// One line of the wireframe: two indices into the vertex table.
struct Edge {
    uint16_t first;
    uint16_t second;
};

// An edge of the variants with 32-bit indices: two unsigned 32-bit indices.
struct WideEdge {
    uint32_t first;
    uint32_t second;
};

// One entry of the level header's lump directory.
struct BspLump {
    int32_t offset;   // from the start of the level
    uint32_t length;  // in bytes
};

enum {
    BSP_LUMP_COUNT = 15,
    BSP_LUMP_VERTICES = 3,
    BSP_LUMP_EDGES = 12,
    BSP_MIN_VERSION = 28,  // 0x1C
};

// The 124-byte level header. The variants with 32-bit edge indices have the
// same header with four identifying bytes, "BSP2" or "2PSB", in place of
// the version.
struct BspHdr {
    int32_t version;
    BspLump lumps[BSP_LUMP_COUNT];
};

// The 160-byte header that starts with "IBSP": the identifying bytes, a
// version (38 is the one read with this header; 46 and 47 have the shorter
// one of the levels that store surfaces, below) and 19 lumps; vertices are
// lump 2, edges (16-bit indices) lump 11. A header that starts with "QBSP"
// is the same, with edges of two 32-bit indices.
enum {
    IBSP_LUMP_COUNT = 19,
    IBSP_LUMP_VERTICES = 2,
    IBSP_LUMP_EDGES = 11,
    IBSP_VERSION = 38,
};

struct IbspHdr {
    char ident[4];
    int32_t version;
    BspLump lumps[IBSP_LUMP_COUNT];
};

// The headers of the levels that store surfaces instead of an edge table:
// "IBSP" with version 46 or 47 (144 bytes, 17 lumps) and "RBSP" with
// version 1 (152 bytes, 18 lumps), lump i at bytes 8 + 8i of either. Such a
// level holds draw vertices (lump 10: records whose first 12 bytes are the
// position), an index table (lump 11: signed 32-bit numbers, each relative
// to its surface's first vertex) and surfaces (lump 13); the reader makes
// the edges from them (map/surface_level.h).
enum {
    IBSP_SURFACE_LUMP_COUNT = 17,
    RBSP_LUMP_COUNT = 18,
    SURFACE_LUMP_DRAW_VERTICES = 10,
    SURFACE_LUMP_INDICES = 11,
    SURFACE_LUMP_SURFACES = 13,
    IBSP_SURFACE_MIN_VERSION = 46,
    IBSP_SURFACE_MAX_VERSION = 47,
    RBSP_VERSION = 1,
};

struct IbspSurfaceHdr {
    char ident[4];
    int32_t version;
    BspLump lumps[IBSP_SURFACE_LUMP_COUNT];
};

struct RbspHdr {
    char ident[4];
    int32_t version;
    BspLump lumps[RBSP_LUMP_COUNT];
};

// The sizes of the two layouts' records: a draw vertex, a surface, and
// where in a surface its patch width lies (the height follows it).
enum {
    IBSP_DRAW_VERTEX_SIZE = 44,
    IBSP_SURFACE_SIZE = 104,
    IBSP_PATCH_SIZE_AT = 96,
    RBSP_DRAW_VERTEX_SIZE = 80,
    RBSP_SURFACE_SIZE = 148,
    RBSP_PATCH_SIZE_AT = 140,
};

// The seven signed 32-bit numbers every surface record begins with.
struct SurfaceHead {
    int32_t shader;  // not used
    int32_t fog;     // not used
    int32_t type;    // SURFACE_PLANAR, SURFACE_PATCH, SURFACE_SOUP; others draw nothing
    int32_t firstVertex;
    int32_t vertexCount;
    int32_t firstIndex;
    int32_t indexCount;
};

enum { SURFACE_PLANAR = 1, SURFACE_PATCH = 2, SURFACE_SOUP = 3 };

// The 1036-byte header that starts with "VBSP": the identifying bytes, a
// version (19, 20 and 21 are read), 64 lumps of 16 bytes and the map's
// revision; vertices are lump 3, edges (16-bit indices) lump 12. A lump
// whose code is not zero is stored compressed.
enum {
    VBSP_LUMP_COUNT = 64,
    VBSP_LUMP_VERTICES = 3,
    VBSP_LUMP_EDGES = 12,
    VBSP_MIN_VERSION = 19,
    VBSP_MAX_VERSION = 21,
};

struct VbspLump {
    int32_t offset;   // from the start of the level
    uint32_t length;  // in bytes
    int32_t version;  // of the lump's contents; not used
    char code[4];     // all zero unless the lump is compressed
};

struct VbspHdr {
    char ident[4];
    int32_t version;
    VbspLump lumps[VBSP_LUMP_COUNT];
    int32_t mapRevision;  // not used
};

// The 12-byte archive header.
struct PakHdr {
    char magic[4];  // "PACK", no terminator
    int32_t dirOffset;
    uint32_t dirLength;
};

enum { DIR_NAME_SIZE = 56 };

// One 64-byte entry of the archive directory.
struct DirEntry {
    char name[DIR_NAME_SIZE];  // NUL-terminated, except in hostile files
    int32_t filePos;           // where the entry's data begins in the file
    int32_t fileLength;        // never used by the reader
};

// The edge and directory counts are the table lengths shifted right by
// these (a logical shift: lengths are unsigned), which is the division by
// the record size with the remainder dropped.
enum {
    EDGE_SIZE_SHIFT = 2,
    WIDE_EDGE_SIZE_SHIFT = 3,
    DIR_ENTRY_SIZE_SHIFT = 6,
};

static_assert(sizeof(Vertex) == 12);
static_assert(sizeof(Edge) == 1u << EDGE_SIZE_SHIFT);
static_assert(sizeof(WideEdge) == 1u << WIDE_EDGE_SIZE_SHIFT);
static_assert(sizeof(DirEntry) == 1u << DIR_ENTRY_SIZE_SHIFT);
static_assert(sizeof(BspLump) == 8);
static_assert(sizeof(BspHdr) == 124);
static_assert(sizeof(IbspHdr) == 160 && offsetof(IbspHdr, lumps) == 8);
static_assert(sizeof(VbspLump) == 16);
static_assert(sizeof(VbspHdr) == 1036 && offsetof(VbspHdr, lumps) == 8);
static_assert(sizeof(IbspSurfaceHdr) == 144 && offsetof(IbspSurfaceHdr, lumps) == 8);
static_assert(sizeof(RbspHdr) == 152 && offsetof(RbspHdr, lumps) == 8);
static_assert(sizeof(SurfaceHead) == 28);
static_assert(IBSP_PATCH_SIZE_AT + 8 == IBSP_SURFACE_SIZE && RBSP_PATCH_SIZE_AT + 8 == RBSP_SURFACE_SIZE);
static_assert(sizeof(PakHdr) == 12);
static_assert(sizeof(DirEntry) == 64);

#endif
