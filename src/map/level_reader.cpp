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

#include "map/load_report.h"
#include "map/model.h"
#include "platform/platform.h"

static BspHdr levelHeader;  // overwritten by every load
static char titleBuffer[sizeof "KORVITAN - " + FILE_NAME_SIZE];

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

// A lump's data lies at base + offset, the sum formed in 32 bits and taken
// as a signed position.
static int64_t LumpPosition(int32_t base, const BspLump &lump) {
    return int32_t(uint32_t(base) + uint32_t(lump.offset));
}

// The block for one table, once the table is known to lie inside the file.
// Returns null after the failure has been reported and the model released.
static void *AllocateTable(PlatWindow *window, int32_t base, const BspLump &lump,
                           const char *readFailure, const char *allocFailure) {
    if (!RegionInsideFile(LumpPosition(base, lump), lump.length)) {
        ReleaseThenReport(window, readFailure);
        return nullptr;
    }
    void *block = PlatAlloc(lump.length);
    if (!block) ReportThenRelease(window, allocFailure);
    return block;
}

// Fills a table the model already owns. Returns 0 after the failure has
// been reported and the model (the block included) released.
static int FillTable(PlatWindow *window, int32_t base, const BspLump &lump, void *block,
                     const char *readFailure) {
    if (ReadRegion(LumpPosition(base, lump), block, lump.length)) return 1;
    ReleaseThenReport(window, readFailure);
    return 0;
}

int32_t ReadLevelAt(PlatWindow *window, int32_t base, const char *displayName) {
    if (!RegionInsideFile(base, sizeof levelHeader) ||
        !ReadRegion(base, &levelHeader, sizeof levelHeader)) {
        ReleaseThenReport(window, "Error Reading BspHdr");
        return 0;
    }
    if (levelHeader.version < BSP_MIN_VERSION) {
        ReportLoadFailure(window, "Invalid BSP version! (should be >=0x1C )", "Error");
        CloseMapFile();
        SetLevelTitle(window, displayName);
        PlatInvalidate(window);
        return 0;
    }
    SetLevelTitle(window, displayName);

    const BspLump &vertexLump = levelHeader.lumps[BSP_LUMP_VERTICES];
    const BspLump &edgeLump = levelHeader.lumps[BSP_LUMP_EDGES];

    MapData.vertexCount = int32_t(vertexLump.length / sizeof(Vertex));
    MapData.vertices = static_cast<Vertex *>(AllocateTable(
        window, base, vertexLump, "Error Reading Vertices", "Can't allocate memory for vertex."));
    if (!MapData.vertices) return 0;
    if (!FillTable(window, base, vertexLump, MapData.vertices, "Error Reading Vertices")) return 0;
    ComputeMapBounds();

    // No message loop runs between setting the count and the read, and a
    // failed read releases the model before its message is shown, so a
    // paint never sees a half-read table.
    MapData.edges = static_cast<Edge *>(AllocateTable(
        window, base, edgeLump, "Error Reading Edges", "Can't allocate memory for Edges."));
    if (!MapData.edges) return 0;
    MapData.edgeCount = int32_t(edgeLump.length >> EDGE_SIZE_SHIFT);
    if (!FillTable(window, base, edgeLump, MapData.edges, "Error Reading Edges")) return 0;

    PlatInvalidate(window);
    CloseMapFile();
    EndLoad(LOAD_LOADED);
    return 1;
}

int32_t LoadBspFile(PlatWindow *window) {
    FreeMapData();
    MapData.file = PlatOpenFile(fileName);
    if (!MapData.file) {
        ReportLoadFailure(window, fileName, "Can't open file:");
        return 0;
    }
    return ReadLevelAt(window, 0, fileName);
}
