// posix_files.cpp - the file layer over POSIX open/read/lseek/fstat.
//
// Serves every program but the Windows one. Reads loop until the count is
// delivered or the file ends, so "bytes delivered" means what it says even
// for pipes and large reads that the kernel hands back in pieces.
#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

struct PlatFile {
    int fd;
};

PlatFile *PlatOpenFile(const char *path) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    PlatFile *file = new (std::nothrow) PlatFile{fd};
    if (!file) close(fd);
    return file;
}

uint32_t PlatReadFile(PlatFile *file, void *buffer, uint32_t n) {
    uint8_t *out = static_cast<uint8_t *>(buffer);
    uint32_t delivered = 0;
    while (delivered < n) {
        ssize_t got = read(file->fd, out + delivered, n - delivered);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        delivered += uint32_t(got);
    }
    return delivered;
}

int PlatSeekFile(PlatFile *file, int64_t position) {
    if (position < 0) return 0;
    return lseek(file->fd, off_t(position), SEEK_SET) == off_t(position);
}

int64_t PlatFileSize(PlatFile *file) {
    struct stat st;
    if (fstat(file->fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return int64_t(st.st_size);
}

void PlatCloseFile(PlatFile *file) {
    if (!file) return;
    close(file->fd);
    delete file;
}
