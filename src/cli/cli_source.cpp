// cli_source.cpp - see cli_source.h.
#include "cli/cli_source.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "map/archive_kind.h"
#include "platform/platform.h"
#include "system/memory_files.h"

namespace {

int IsStandardInput(const char *path) { return std::strcmp(path, "-") == 0; }

int Refuse(CliSource *source, const std::string &why) {
    source->error = why;
    return 0;
}

std::string CannotOpen(int error) { return std::string("Can't open file: ") + std::strerror(error); }

// Reads fd to its end into a heap block (PlatAlloc, as the file layer
// frees it) of at most SOURCE_LIMIT bytes. The block doubles as it fills;
// its last growth stops one byte past the limit, which is how a stream
// that is too long shows.
int ReadStream(int fd, CliSource *source) {
    size_t capacity = size_t(1) << 16, size = 0;
    uint8_t *bytes = static_cast<uint8_t *>(PlatAlloc(capacity));
    for (;;) {
        if (!bytes) return Refuse(source, "Can't allocate memory (standard input or stream)");
        if (size == capacity) {
            if (uint64_t(size) > SOURCE_LIMIT) {
                PlatFree(bytes);
                return Refuse(source, "larger than 2 GiB, more than a level or an archive can be");
            }
            size_t larger = capacity * 2 > size_t(SOURCE_LIMIT) ? size_t(SOURCE_LIMIT) + 1 : capacity * 2;
            uint8_t *grown = static_cast<uint8_t *>(PlatAlloc(larger));
            if (grown) std::memcpy(grown, bytes, size);
            PlatFree(bytes);
            bytes = grown;
            capacity = larger;
            continue;
        }
        ssize_t got = read(fd, bytes + size, capacity - size);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            int error = errno;
            PlatFree(bytes);
            return Refuse(source, std::string("Can't read file: ") + std::strerror(error));
        }
        if (got == 0) break;
        size += size_t(got);
    }
    source->block = bytes;
    source->size = size;
    return 1;
}

}  // namespace

int LookAtSource(const char *path, SourceKind *kind, std::string *error) {
    if (IsStandardInput(path)) {
        *kind = SOURCE_MEMORY;
        return 1;
    }
    struct stat st;
    if (stat(path, &st) != 0) {
        *error = CannotOpen(errno);
        return 0;
    }
    *kind = S_ISDIR(st.st_mode) ? SOURCE_FOLDER : S_ISREG(st.st_mode) ? SOURCE_FILE : SOURCE_MEMORY;
    return 1;
}

int OpenSource(const char *path, CliSource *source) {
    *source = CliSource{path, SOURCE_FILE, nullptr, 0, ""};
    int fd = IsStandardInput(path) ? STDIN_FILENO : open(path, O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return Refuse(source, CannotOpen(errno));
    struct stat st;
    int ok = fstat(fd, &st) == 0;
    if (!ok) Refuse(source, CannotOpen(errno));
    else if (S_ISDIR(st.st_mode)) ok = Refuse(source, std::strerror(EISDIR));
    else if (S_ISREG(st.st_mode) && !IsStandardInput(path)) source->kind = SOURCE_FILE;
    else {
        source->kind = SOURCE_MEMORY;
        ok = ReadStream(fd, source);
    }
    if (fd != STDIN_FILENO) close(fd);
    if (!ok) return 0;
    if (source->kind == SOURCE_MEMORY && !NameMemoryFile(path, source->block, source->size)) {
        PlatFree(source->block);
        source->block = nullptr;
        return Refuse(source, "Can't allocate memory (standard input or stream)");
    }
    return 1;
}

void CloseSource(CliSource *source) {
    if (source->kind != SOURCE_MEMORY || !source->block) return;
    ForgetMemoryFile(source->path.c_str());
    PlatFree(source->block);
    source->block = nullptr;
}

int SourceIsArchive(const CliSource *source, int byFirstBytes) {
    const char *path = source->path.c_str();
    if (!IsStandardInput(path) && HasArchiveEnding(path)) return 1;
    if (source->kind == SOURCE_MEMORY)
        return ArchiveKindOfBytes(source->block, source->size) != ARCHIVE_NONE;
    return byFirstBytes && ArchiveKindOfFile(path) != ARCHIVE_NONE;
}
