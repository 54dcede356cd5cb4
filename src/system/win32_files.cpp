// win32_files.cpp - the file layer of the Windows program, over KERNEL32.
//
// CreateFileA, ReadFile, SetFilePointerEx, GetFileSizeEx, CloseHandle. Reads
// loop until the count is delivered or the file ends, so "bytes delivered"
// means what it says for any size of request.
#include <windows.h>

#include <new>

#include "platform/platform.h"

struct PlatFile {
    HANDLE handle;
};

PlatFile *PlatOpenFile(const char *path) {
    HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    PlatFile *file = new (std::nothrow) PlatFile{handle};
    if (!file) CloseHandle(handle);
    return file;
}

uint32_t PlatReadFile(PlatFile *file, void *buffer, uint32_t n) {
    uint8_t *out = static_cast<uint8_t *>(buffer);
    uint32_t delivered = 0;
    while (delivered < n) {
        DWORD got = 0;
        if (!ReadFile(file->handle, out + delivered, n - delivered, &got, NULL) || got == 0) break;
        delivered += got;
    }
    return delivered;
}

int PlatSeekFile(PlatFile *file, int64_t position) {
    if (position < 0) return 0;
    LARGE_INTEGER to, at;
    to.QuadPart = position;
    if (!SetFilePointerEx(file->handle, to, &at, FILE_BEGIN)) return 0;
    return at.QuadPart == position;
}

// Only a disk file has a size worth believing; pipes and devices say -1.
int64_t PlatFileSize(PlatFile *file) {
    if (GetFileType(file->handle) != FILE_TYPE_DISK) return -1;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file->handle, &size)) return -1;
    return size.QuadPart;
}

void PlatCloseFile(PlatFile *file) {
    if (!file) return;
    CloseHandle(file->handle);
    delete file;
}
