// archive_reader.h - loads one level out of an archive.
#ifndef KORVITAN_MAP_ARCHIVE_READER_H
#define KORVITAN_MAP_ARCHIVE_READER_H

#include <cstddef>
#include <cstdint>

#include "map/records.h"

struct PlatWindow;

// Loads the archive named by fileName: checks its header, reads its
// directory, lets the user choose a map (PlatRunMapSelectDialog) and reads
// that entry's level. Returns 1 when a level was loaded, 0 otherwise
// (including when no map was chosen). Every failure is reported to the user.
int32_t LoadPakFile(PlatWindow *window);

// Copies the text of an entry's name, terminated, into out (at least 56
// bytes): up to its terminator, and never more than 55 characters, so a
// name that fills all 56 bytes reads as its first 55.
void CopyDirEntryName(const DirEntry *entry, char *out);
// Whether the map list offers the entry: its first 5 bytes are "maps/".
int IsListedMapEntry(const DirEntry *entry);

#endif
