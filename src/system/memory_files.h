// memory_files.h - blocks of memory read as files, behind platform.h's file
// functions, for the programs on the POSIX file layer.
//
// A level taken out of an archive is inflated into memory and never written
// to disk. Opened as a PlatFile, the block reads exactly as a file on disk
// would: PlatReadFile, PlatSeekFile, PlatFileSize and PlatCloseFile behave
// the same, so the level reader applies every rule and gives every message
// it has, and a table the block does not hold is a short read.
//
// Two ways in:
//
//   OpenMemoryFile(block, size)
//       a file over a heap block from PlatAlloc, which the file takes over:
//       closing the file frees the block. For one reader, such as the
//       level reader reading an archive entry once.
//   NameMemoryFile(name, block, size)
//       gives a block a name. From then on PlatOpenFile(name) opens the
//       block (a file of its own each time, all reading the same bytes)
//       instead of a file of that name on disk, until ForgetMemoryFile(name).
//       The block stays the caller's and must outlive every file opened
//       from it. For bytes that several loads read, such as standard input
//       read whole: put the name into fileName and LoadBspFile, or the
//       archive layer, reads them as it reads any path.
#ifndef KORVITAN_SYSTEM_MEMORY_FILES_H
#define KORVITAN_SYSTEM_MEMORY_FILES_H

#include <cstddef>

struct PlatFile;

// A file over size bytes at block, which it frees with PlatFree when closed.
// Null when no file can be made (out of memory); the block is then freed.
PlatFile *OpenMemoryFile(void *block, size_t size);

// Names a block (see above); a block named before under that name is
// forgotten. Returns 0 when out of memory.
int NameMemoryFile(const char *name, const void *block, size_t size);
// Forgets a name; files already open on the block stay readable.
void ForgetMemoryFile(const char *name);

#endif
