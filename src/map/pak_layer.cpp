// pak_layer.cpp - the archive layer of korvitan.exe: PAK files only, read
// by the PAK reader, offered in the open-file dialog as "*.PAK files".
#include "map/archive_kind.h"
#include "map/archive_reader.h"

int32_t LoadArchiveFile(PlatWindow *window) { return LoadPakFile(window); }

const char *ArchiveOpenFilter(void) { return "*.PAK files (*.PAK)\0*.PAK\0"; }
