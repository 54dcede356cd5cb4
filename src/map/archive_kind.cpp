// archive_kind.cpp - see archive_kind.h.
#include "map/archive_kind.h"

#include <cstring>

#include "platform/platform.h"

namespace {

struct Magic {
    ArchiveKind kind;
    const char *bytes;
    size_t size;
};

const Magic MAGICS[] = {
    {ARCHIVE_PAK, "PACK", 4},
    {ARCHIVE_ZIP, "PK\x03\x04", 4},
    {ARCHIVE_ZIP, "PK\x05\x06", 4},
    {ARCHIVE_7Z, "7z\xBC\xAF\x27\x1C", 6},
    {ARCHIVE_RAR, "Rar!\x1A\x07", 6},
};

enum { LONGEST_MAGIC = 6 };

const char *const ENDINGS[] = {".pak", ".pk3", ".pk4", ".zip", ".7z", ".rar"};

int EndsWithNoCase(const char *name, const char *ending) {
    size_t n = std::strlen(name), k = std::strlen(ending);
    if (n < k) return 0;
    for (size_t i = 0; i < k; i++) {
        char c = name[n - k + i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != ending[i]) return 0;
    }
    return 1;
}

}  // namespace

ArchiveKind ArchiveKindOfBytes(const void *bytes, size_t n) {
    for (const Magic &magic : MAGICS)
        if (n >= magic.size && std::memcmp(bytes, magic.bytes, magic.size) == 0) return magic.kind;
    return ARCHIVE_NONE;
}

ArchiveKind ArchiveKindOfFile(const char *path) {
    PlatFile *file = PlatOpenFile(path);
    if (!file) return ARCHIVE_NONE;
    uint8_t first[LONGEST_MAGIC];
    uint32_t got = PlatReadFile(file, first, sizeof first);
    PlatCloseFile(file);
    return ArchiveKindOfBytes(first, got);
}

int HasArchiveEnding(const char *name) {
    for (const char *ending : ENDINGS)
        if (EndsWithNoCase(name, ending)) return 1;
    return 0;
}

int HasPakEnding(const char *name) { return EndsWithNoCase(name, ".pak"); }
