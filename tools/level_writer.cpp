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

Bytes LevelBytes(const std::vector<Vertex> &vertices, const std::vector<Edge> &edges,
                 int32_t version) {
    Bytes bytes(LEVEL_HEADER_SIZE, 0);
    PutI32(bytes, LEVEL_VERSION_OFFSET, version);
    // Junk in the lumps nobody reads: offsets far outside the file.
    for (int lump = 0; lump < BSP_LUMP_COUNT; lump++) {
        PutI32(bytes, 4 + 8 * lump, -0x41414141 + lump);
        PutU32(bytes, 8 + 8 * lump, 0xFFFFFFF0u - lump);
    }
    uint32_t vertexLength = uint32_t(vertices.size() * sizeof(Vertex));
    uint32_t edgeLength = uint32_t(edges.size() * sizeof(Edge));
    PutI32(bytes, LEVEL_VERTEX_OFFSET_AT, LEVEL_HEADER_SIZE);
    PutU32(bytes, LEVEL_VERTEX_LENGTH_AT, vertexLength);
    PutI32(bytes, LEVEL_EDGE_OFFSET_AT, int32_t(LEVEL_HEADER_SIZE + vertexLength));
    PutU32(bytes, LEVEL_EDGE_LENGTH_AT, edgeLength);
    Append(bytes, vertices.data(), vertexLength);
    Append(bytes, edges.data(), edgeLength);
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
