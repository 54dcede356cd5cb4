// file_record.h - the PlatFile of the programs on the POSIX file layer,
// shared by its two kinds of file: a file on disk (posix_files.cpp) and a
// block in memory (memory_files.cpp).
#ifndef KORVITAN_SYSTEM_FILE_RECORD_H
#define KORVITAN_SYSTEM_FILE_RECORD_H

#include <cstdint>

struct PlatFile {
    int fd;                // the open file; -1 for a block in memory
    const uint8_t *bytes;  // the block, for a file in memory
    void *owned;           // the block freed (PlatFree) when the file closes, or null
    int64_t size;          // at open; -1 when the file is not a regular file
    int64_t position;      // where the next read starts; -1 when not known
};

// For posix_files.cpp: whether a block has been given this name
// (NameMemoryFile). When one has, *file is a new file over it (null when
// out of memory).
int OpenNamedMemoryFile(const char *name, PlatFile **file);
// Reads from a block in memory as PlatReadFile reads from a file.
uint32_t ReadMemoryFile(PlatFile *file, void *buffer, uint32_t n);

#endif
