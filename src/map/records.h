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
// version (38 is the one read) and 19 lumps; vertices are lump 2, edges
// (16-bit indices) lump 11. A header that starts with "QBSP" is the same,
// with edges of two 32-bit indices.
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
static_assert(sizeof(PakHdr) == 12);
static_assert(sizeof(DirEntry) == 64);

#endif
