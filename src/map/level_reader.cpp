// level_reader.cpp - reads one level of a level file into the model.
//
// Of a level only the header, the vertex table (lump 3) and the edge table
// (lump 12) are read, each with one read into one heap block, records used
// in place. Nothing in the file is trusted: before a table is allocated the
// reader checks that it lies inside the file, so a tiny hostile file can
// never make it allocate more than the file holds, and a read that delivers
// fewer bytes than asked stops the load.
#include "map/level_reader.h"

#include <cstdio>

#include "map/model.h"
#include "platform/platform.h"

static BspHdr levelHeader;  // overwritten by every load
static char titleBuffer[sizeof "KORVITAN - " + FILE_NAME_SIZE];

static const char kCaptionError[] = "Error";

int32_t LastLevelVersion(void) { return levelHeader.version; }

void SetLevelTitle(PlatWindow *window, const char *displayName) {
    std::snprintf(titleBuffer, sizeof titleBuffer, "KORVITAN - %s", displayName);
    PlatSetWindowTitle(window, titleBuffer);
}

int RegionInsideFile(int64_t position, uint32_t length) {
    if (length == 0) return 1;
    int64_t size = PlatFileSize(MapData.file);
    return position >= 0 && size >= 0 && position <= size && int64_t(length) <= size - position;
}

int ReadRegion(int64_t position, void *buffer, uint32_t length) {
    if (length == 0) return 1;
    if (!PlatSeekFile(MapData.file, position)) return 0;
    return PlatReadFile(MapData.file, buffer, length) == length;
}

void FailLoad(PlatWindow *window, const char *text) {
    FreeMapData();
    PlatMessageBox(window, text, kCaptionError);
}

// A lump's data lies at base + offset, the sum formed in 32 bits and taken
// as a signed position.
static int64_t LumpPosition(int32_t base, const BspLump &lump) {
    return int32_t(uint32_t(base) + uint32_t(lump.offset));
}

// Allocates and reads one table. Returns the block, or null after the
// failure has been reported and the model released.
static void *ReadTable(PlatWindow *window, int32_t base, const BspLump &lump,
                       const char *readFailure, const char *allocFailure) {
    int64_t position = LumpPosition(base, lump);
    if (!RegionInsideFile(position, lump.length)) {
        FailLoad(window, readFailure);
        return nullptr;
    }
    void *block = PlatAlloc(lump.length);
    if (!block) {
        PlatMessageBox(window, allocFailure, kCaptionError);
        FreeMapData();
        return nullptr;
    }
    if (!ReadRegion(position, block, lump.length)) {
        PlatFree(block);
        FailLoad(window, readFailure);
        return nullptr;
    }
    return block;
}

int32_t ReadLevelAt(PlatWindow *window, int32_t base, const char *displayName) {
    if (!RegionInsideFile(base, sizeof levelHeader) ||
        !ReadRegion(base, &levelHeader, sizeof levelHeader)) {
        FailLoad(window, "Error Reading BspHdr");
        return 0;
    }
    if (levelHeader.version < BSP_MIN_VERSION) {
        PlatMessageBox(window, "Invalid BSP version! (should be >=0x1C )", kCaptionError);
        CloseMapFile();
        SetLevelTitle(window, displayName);
        PlatInvalidate(window);
        return 0;
    }
    SetLevelTitle(window, displayName);

    const BspLump &vertexLump = levelHeader.lumps[BSP_LUMP_VERTICES];
    const BspLump &edgeLump = levelHeader.lumps[BSP_LUMP_EDGES];

    MapData.vertexCount = int32_t(vertexLump.length / sizeof(Vertex));
    void *vertices = ReadTable(window, base, vertexLump, "Error Reading Vertices",
                               "Can't allocate memory for vertex.");
    if (!vertices) return 0;
    MapData.vertices = static_cast<Vertex *>(vertices);
    ComputeMapBounds();

    // The edge count is set only once the whole table is there, so a paint
    // during a message box never sees a half-read table.
    void *edges = ReadTable(window, base, edgeLump, "Error Reading Edges",
                            "Can't allocate memory for Edges.");
    if (!edges) return 0;
    MapData.edges = static_cast<Edge *>(edges);
    MapData.edgeCount = int32_t(edgeLump.length >> 2);

    PlatInvalidate(window);
    CloseMapFile();
    return 1;
}

int32_t LoadBspFile(PlatWindow *window) {
    FreeMapData();
    MapData.file = PlatOpenFile(fileName);
    if (!MapData.file) {
        PlatMessageBox(window, fileName, "Can't open file:");
        return 0;
    }
    return ReadLevelAt(window, 0, fileName);
}
