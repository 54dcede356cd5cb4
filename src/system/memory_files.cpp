// memory_files.cpp - see memory_files.h.
//
// A file in memory is the same PlatFile record as a file on disk, with no
// descriptor: posix_files.cpp hands its reads here, and its seeks, sizes
// and closes work on the record alike.
#include "system/memory_files.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "system/file_record.h"

namespace {

struct NamedBlock {
    std::string name;
    const uint8_t *bytes;
    size_t size;
};

std::vector<NamedBlock> namedBlocks;  // a handful at most: a linear search

PlatFile *NewMemoryFile(const void *bytes, size_t size, void *owned) {
    return new (std::nothrow) PlatFile{-1, static_cast<const uint8_t *>(bytes), owned, int64_t(size), 0};
}

}  // namespace

PlatFile *OpenMemoryFile(void *block, size_t size) {
    PlatFile *file = NewMemoryFile(block, size, block);
    if (!file) PlatFree(block);
    return file;
}

int NameMemoryFile(const char *name, const void *block, size_t size) {
    ForgetMemoryFile(name);
    try {
        namedBlocks.push_back(NamedBlock{name, static_cast<const uint8_t *>(block), size});
    } catch (const std::bad_alloc &) {
        return 0;
    }
    return 1;
}

void ForgetMemoryFile(const char *name) {
    for (size_t i = 0; i < namedBlocks.size(); i++) {
        if (namedBlocks[i].name != name) continue;
        namedBlocks.erase(namedBlocks.begin() + ptrdiff_t(i));
        return;
    }
}

int OpenNamedMemoryFile(const char *name, PlatFile **file) {
    for (const NamedBlock &block : namedBlocks) {
        if (block.name != name) continue;
        *file = NewMemoryFile(block.bytes, block.size, nullptr);
        return 1;
    }
    return 0;
}

// A position past the end delivers nothing, as a read at the end of a file.
uint32_t ReadMemoryFile(PlatFile *file, void *buffer, uint32_t n) {
    if (file->position < 0 || file->position >= file->size) return 0;
    int64_t left = file->size - file->position;
    uint32_t delivered = int64_t(n) < left ? n : uint32_t(left);
    std::memcpy(buffer, file->bytes + file->position, delivered);
    file->position += delivered;
    return delivered;
}
