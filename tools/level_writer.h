// level_writer.h - writes levels and archives byte for byte, for tests,
// benchmarks, fuzz seeds and the demo files.
//
// The writer lays files out plainly so that tests can patch any field
// afterwards with PutI32/PutU32 at a known offset:
//
//   level:   [124-byte header][vertex table][edge table]
//   archive: [12-byte header][entry data, in order][directory]
//
// Lumps other than the vertex and edge tables get recognisable junk values,
// so a reader that looked at them would go wrong visibly.
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

// A whole level: header, then vertices, then edges.
Bytes LevelBytes(const std::vector<Vertex> &vertices, const std::vector<Edge> &edges,
                 int32_t version = 29);

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
