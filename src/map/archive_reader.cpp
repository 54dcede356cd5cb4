// archive_reader.cpp - the archive format: header, directory, chosen level.
//
// The directory is read whole with one read into one heap block and used in
// place; it stays in the model while the level is shown, so the map list and
// the lookup of the chosen name work on the very bytes of the file. As for
// levels, the directory must lie inside the file before it is allocated.
#include "map/archive_reader.h"

#include <cstring>

#include "map/level_reader.h"
#include "map/load_report.h"
#include "map/model.h"
#include "platform/platform.h"

static PakHdr archiveHeader;  // overwritten by every archive load

// The length of an entry's name text (see CopyDirEntryName).
static size_t DirEntryNameLength(const DirEntry *entry) {
    size_t n = 0;
    while (n < DIR_NAME_SIZE - 1 && entry->name[n] != '\0') n++;
    return n;
}

void CopyDirEntryName(const DirEntry *entry, char *out) {
    size_t n = DirEntryNameLength(entry);
    std::memcpy(out, entry->name, n);
    out[n] = '\0';
}

int IsListedMapEntry(const DirEntry *entry) {
    return std::memcmp(entry->name, "maps/", 5) == 0;
}

// The index of the first entry of MapData.dirList whose name text equals
// name exactly, or -1.
static int32_t FindDirEntry(const char *name) {
    size_t length = std::strlen(name);
    for (int32_t i = 0; i < MapData.dirCount; i++) {
        const DirEntry *entry = &MapData.dirList[i];
        if (DirEntryNameLength(entry) == length && std::memcmp(entry->name, name, length) == 0)
            return i;
    }
    return -1;
}

// Reads the header and the directory. Returns 0 after reporting a failure
// with the model released. Nothing of a level is held yet, so the message
// comes first and the release after it, as the format's loaders always did.
static int ReadDirectory(PlatWindow *window) {
    if (PlatReadFile(MapData.file, &archiveHeader, sizeof archiveHeader) != sizeof archiveHeader) {
        ReportThenRelease(window, "Error Reading PakHdr");
        return 0;
    }
    if (std::memcmp(archiveHeader.magic, "PACK", 4) != 0) {
        ReportThenRelease(window, "File is not a .PAK file");
        return 0;
    }
    uint32_t length = archiveHeader.dirLength;
    // A directory the file cannot hold is a short read, found before the
    // block is allocated.
    if (!RegionInsideFile(archiveHeader.dirOffset, length)) {
        ReportThenRelease(window, "Error Reading DirList");
        return 0;
    }
    MapData.dirList = static_cast<DirEntry *>(PlatAlloc(length));
    if (!MapData.dirList) {
        ReportThenRelease(window, "Can't allocate memory (DirList)");
        return 0;
    }
    if (!ReadRegion(archiveHeader.dirOffset, MapData.dirList, length)) {
        ReportThenRelease(window, "Error Reading DirList");
        return 0;
    }
    MapData.dirCount = int32_t(length >> DIR_ENTRY_SIZE_SHIFT);
    return 1;
}

int32_t LoadPakFile(PlatWindow *window) {
    FreeMapData();
    MapData.file = PlatOpenFile(fileName);
    if (!MapData.file) {
        ReportLoadFailure(window, fileName, "Can't open file:");
        return 0;
    }
    if (!ReadDirectory(window)) return 0;

    PlatRunMapSelectDialog(window);
    if (selectedMapName[0] == '\0') {
        CloseMapFile();  // no map chosen: the directory stays, nothing else
        EndLoad(LOAD_NO_MAP);
        return 0;
    }
    SetLevelTitle(window, selectedMapName);
    int32_t index = FindDirEntry(selectedMapName);
    if (index < 0) {
        // Only a name the dialog did not take from this directory gets here;
        // end the load as when no map was chosen.
        CloseMapFile();
        EndLoad(LOAD_NO_MAP);
        return 0;
    }
    return ReadLevelAt(window, MapData.dirList[index].filePos, selectedMapName);
}
