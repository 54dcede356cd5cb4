// posix_files.cpp - the file layer over POSIX open/read/lseek/fstat.
//
// Serves every program but the Windows one. Reads loop until the count is
// delivered or the file ends, so "bytes delivered" means what it says even
// for pipes and large reads that the kernel hands back in pieces.
//
// A load asks for the size before every table and seeks before every read,
// though the tables mostly follow one another. So the size is taken once,
// when the file is opened, and the layer keeps track of the position: a
// seek to where the file already stands makes no system call, and a load
// of a level is open, fstat, one read per table (per 64 KiB of draw
// vertices and surfaces, for a level that stores surfaces), close.
//
// The same record also stands for a block in memory (memory_files.h): a
// name given to a block opens the block rather than a file on disk, and
// reads come from memory; seeks, sizes and closes are alike for both.
#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "system/file_record.h"

PlatFile *PlatOpenFile(const char *path) {
    PlatFile *named = nullptr;
    if (OpenNamedMemoryFile(path, &named)) return named;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    int64_t size = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? int64_t(st.st_size) : -1;
    PlatFile *file = new (std::nothrow) PlatFile{fd, nullptr, nullptr, size, 0};
    if (!file) close(fd);
    return file;
}

uint32_t PlatReadFile(PlatFile *file, void *buffer, uint32_t n) {
    if (file->fd < 0) return ReadMemoryFile(file, buffer, n);
    uint8_t *out = static_cast<uint8_t *>(buffer);
    uint32_t delivered = 0;
    while (delivered < n) {
        ssize_t got = read(file->fd, out + delivered, n - delivered);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) file->position = -1;  // where a failed read left it is not known
        if (got <= 0) break;
        delivered += uint32_t(got);
    }
    if (file->position >= 0) file->position += delivered;
    return delivered;
}

int PlatSeekFile(PlatFile *file, int64_t position) {
    if (position < 0) return 0;
    if (position == file->position) return 1;
    if (file->fd >= 0 && lseek(file->fd, off_t(position), SEEK_SET) != off_t(position)) {
        file->position = -1;
        return 0;
    }
    file->position = position;
    return 1;
}

int64_t PlatFileSize(PlatFile *file) { return file->size; }

void PlatCloseFile(PlatFile *file) {
    if (!file) return;
    if (file->fd >= 0) close(file->fd);
    PlatFree(file->owned);
    delete file;
}
