// level_reader.cpp - reads one level of a level file into the model.
//
// Of a level only the header, the vertex table and the edge table are read,
// each with one read into one heap block, records used in place. Nothing in
// the file is trusted: before a table is allocated the reader checks that it
// lies inside the file, so a tiny hostile file can never make it allocate
// more than the file holds, and a read that delivers fewer bytes than asked
// stops the load.
//
// The header comes in several layouts, told apart by the level's first four
// bytes (see records.h): the original one, whose first four bytes are its
// version; the same header beginning "BSP2" or "2PSB", whose edges hold
// 32-bit indices; and the longer headers beginning "IBSP", "QBSP" and
// "VBSP", whose version follows those bytes ("QBSP" is the "IBSP" layout
// with 32-bit edge indices). All of them hold the same two tables, so one
// model and one drawing serve them all. The headers beginning "IBSP" with
// version 46 or 47 and "RBSP" hold no edge table but surfaces, from which
// surface_level.cpp makes the edges into the same model.
#include "map/level_reader.h"

#include <cstdio>
#include <cstring>

#include "map/load_report.h"
#include "map/model.h"
#include "map/surface_level.h"
#include "platform/platform.h"

enum LevelFormat { FORMAT_BSP, FORMAT_BSP2, FORMAT_2PSB, FORMAT_IBSP, FORMAT_QBSP, FORMAT_VBSP, FORMAT_RBSP };

static const char *const FORMAT_NAMES[] = {"bsp", "bsp2", "2psb", "ibsp", "qbsp", "vbsp", "rbsp"};

// The last level header read, overwritten by every load: as many bytes as
// its layout has, the rest left from earlier loads.
static union {
    char ident[4];
    BspHdr bsp;
    IbspHdr ibsp;
    RbspHdr rbsp;  // its lumps also stand where the 144-byte "IBSP" header's do
    VbspHdr vbsp;
    unsigned char bytes[sizeof(VbspHdr)];
} levelHeader;
static LevelFormat levelFormat = FORMAT_BSP;
static char titleBuffer[sizeof "KORVITAN - " + FILE_NAME_SIZE];
static char refusalText[64];

// The layout a header that begins with these four bytes has.
static LevelFormat FormatOf(const char ident[4]) {
    if (std::memcmp(ident, "BSP2", 4) == 0) return FORMAT_BSP2;
    if (std::memcmp(ident, "2PSB", 4) == 0) return FORMAT_2PSB;
    if (std::memcmp(ident, "IBSP", 4) == 0) return FORMAT_IBSP;
    if (std::memcmp(ident, "QBSP", 4) == 0) return FORMAT_QBSP;
    if (std::memcmp(ident, "VBSP", 4) == 0) return FORMAT_VBSP;
    if (std::memcmp(ident, "RBSP", 4) == 0) return FORMAT_RBSP;
    return FORMAT_BSP;
}

// The two layouts with the "IBSP" header.
static int HasIbspHeader(LevelFormat format) { return format == FORMAT_IBSP || format == FORMAT_QBSP; }

// The layouts whose edges hold 32-bit indices.
static int HasWideEdges(LevelFormat format) {
    return format == FORMAT_BSP2 || format == FORMAT_2PSB || format == FORMAT_QBSP;
}

// The layouts whose version follows four identifying bytes.
static int HasIdent(LevelFormat format) {
    return HasIbspHeader(format) || format == FORMAT_VBSP || format == FORMAT_RBSP;
}

// Whether the header just read is one of a level that stores surfaces: the
// "IBSP" versions that do, and "RBSP" (whose other versions are refused).
static int StoresSurfaces(void) {
    int32_t version = levelHeader.ibsp.version;
    return (levelFormat == FORMAT_IBSP && version >= IBSP_SURFACE_MIN_VERSION &&
            version <= IBSP_SURFACE_MAX_VERSION) ||
           levelFormat == FORMAT_RBSP;
}

// The header's size, once its first 124 bytes have said which it is.
static uint32_t HeaderSize(void) {
    if (StoresSurfaces()) return levelFormat == FORMAT_RBSP ? sizeof(RbspHdr) : sizeof(IbspSurfaceHdr);
    if (HasIbspHeader(levelFormat)) return sizeof(IbspHdr);
    if (levelFormat == FORMAT_VBSP) return sizeof(VbspHdr);
    return sizeof(BspHdr);
}

int32_t LastLevelVersion(void) {
    if (HasIdent(levelFormat)) return levelHeader.ibsp.version;  // bytes 4-7 in all of them
    return levelHeader.bsp.version;  // the identifying bytes of BSP2 and 2PSB
}

const char *LastLevelFormat(void) { return FORMAT_NAMES[levelFormat]; }

int LastLevelStoresSurfaces(void) { return StoresSurfaces(); }

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

int64_t LumpPosition(int32_t base, const BspLump &lump) {
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

// Reads the level header at base: the 124 bytes every layout's header
// begins with, then the rest of a longer header once its first bytes have
// said which layout it is. Returns 0 when the file does not hold it all.
static int ReadLevelHeader(int32_t base) {
    const uint32_t common = sizeof(BspHdr);
    if (!RegionInsideFile(base, common) || !ReadRegion(base, &levelHeader, common)) return 0;
    levelFormat = FormatOf(levelHeader.ident);
    uint32_t size = HeaderSize();
    if (size == common) return 1;
    // The file stands right after the part already read.
    return RegionInsideFile(base, size) &&
           PlatReadFile(MapData.file, levelHeader.bytes + common, size - common) == size - common;
}

// The message that refuses the header just read, or null when the reader
// can draw its level: a version it does not know, or tables it would have
// to decompress.
static const char *HeaderRefusal(void) {
    if (HasIbspHeader(levelFormat) && levelHeader.ibsp.version != IBSP_VERSION && !StoresSurfaces()) {
        std::snprintf(refusalText, sizeof refusalText, "Unsupported BSP format! (%.4s version %d)",
                      levelHeader.ident, int(levelHeader.ibsp.version));
        return refusalText;
    }
    if (levelFormat == FORMAT_RBSP && levelHeader.rbsp.version != RBSP_VERSION) {
        std::snprintf(refusalText, sizeof refusalText, "Unsupported BSP format! (RBSP version %d)",
                      int(levelHeader.rbsp.version));
        return refusalText;
    }
    if (levelFormat == FORMAT_VBSP) {
        const VbspHdr &h = levelHeader.vbsp;
        if (h.version < VBSP_MIN_VERSION || h.version > VBSP_MAX_VERSION) {
            std::snprintf(refusalText, sizeof refusalText,
                          "Unsupported BSP format! (VBSP version %d)", int(h.version));
            return refusalText;
        }
        static const char NO_CODE[4] = {0, 0, 0, 0};
        if (std::memcmp(h.lumps[VBSP_LUMP_VERTICES].code, NO_CODE, 4) != 0 ||
            std::memcmp(h.lumps[VBSP_LUMP_EDGES].code, NO_CODE, 4) != 0)
            return "Unsupported BSP format! (compressed lump)";
    }
    if (levelFormat == FORMAT_BSP && levelHeader.bsp.version < BSP_MIN_VERSION)
        return "Invalid BSP version! (should be >=0x1C )";
    return nullptr;
}

// Where the two tables of the header just read lie.
static void TableLumps(BspLump *vertices, BspLump *edges) {
    if (HasIbspHeader(levelFormat)) {
        *vertices = levelHeader.ibsp.lumps[IBSP_LUMP_VERTICES];
        *edges = levelHeader.ibsp.lumps[IBSP_LUMP_EDGES];
    } else if (levelFormat == FORMAT_VBSP) {
        const VbspLump &v = levelHeader.vbsp.lumps[VBSP_LUMP_VERTICES];
        const VbspLump &e = levelHeader.vbsp.lumps[VBSP_LUMP_EDGES];
        *vertices = BspLump{v.offset, v.length};
        *edges = BspLump{e.offset, e.length};
    } else {
        *vertices = levelHeader.bsp.lumps[BSP_LUMP_VERTICES];
        *edges = levelHeader.bsp.lumps[BSP_LUMP_EDGES];
    }
}

// Reads the vertex and edge tables of a level that has them. Returns 0
// after a failure has been reported and the model released.
static int ReadEdgeLevel(PlatWindow *window, int32_t base) {
    BspLump vertexLump, edgeLump;
    TableLumps(&vertexLump, &edgeLump);
    int wide = HasWideEdges(levelFormat);

    // Each count is set only once its table has been read whole. A failure
    // shows its message from inside a message loop that repaints the window,
    // so until then the model must say "no records": a count standing beside
    // a table that is missing or half read would be drawn from.
    MapData.vertices = static_cast<Vertex *>(AllocateTable(
        window, base, vertexLump, "Error Reading Vertices", "Can't allocate memory for vertex."));
    if (!MapData.vertices) return 0;
    if (!FillTable(window, base, vertexLump, MapData.vertices, "Error Reading Vertices")) return 0;
    MapData.vertexCount = int32_t(vertexLump.length / sizeof(Vertex));
    ComputeMapBounds();

    MapData.edgeIndexSize = wide ? 4 : 2;
    MapData.edges = static_cast<Edge *>(AllocateTable(
        window, base, edgeLump, "Error Reading Edges", "Can't allocate memory for Edges."));
    if (!MapData.edges) return 0;
    if (!FillTable(window, base, edgeLump, MapData.edges, "Error Reading Edges")) return 0;
    MapData.edgeCount = int32_t(edgeLump.length >> (wide ? WIDE_EDGE_SIZE_SHIFT : EDGE_SIZE_SHIFT));
    return 1;
}

// Where the tables of a level that stores surfaces lie.
static SurfaceTablesAt SurfaceTables(void) {
    // Both headers keep their lumps at bytes 8 + 8i.
    const BspLump *lumps = levelHeader.rbsp.lumps;
    SurfaceTablesAt at = {lumps[SURFACE_LUMP_DRAW_VERTICES], lumps[SURFACE_LUMP_INDICES],
                          lumps[SURFACE_LUMP_SURFACES], IBSP_DRAW_VERTEX_SIZE, IBSP_SURFACE_SIZE,
                          IBSP_PATCH_SIZE_AT};
    if (levelFormat == FORMAT_RBSP) {
        at.drawVertexSize = RBSP_DRAW_VERTEX_SIZE;
        at.surfaceSize = RBSP_SURFACE_SIZE;
        at.patchSizeAt = RBSP_PATCH_SIZE_AT;
    }
    return at;
}

int32_t ReadLevelAt(PlatWindow *window, int32_t base, const char *displayName) {
    if (!ReadLevelHeader(base)) {
        ReleaseThenReport(window, "Error Reading BspHdr");
        return 0;
    }
    // A header refused for what it says ends the load before anything is
    // allocated; the title still names what was opened, and the repaint
    // shows that nothing is drawn.
    if (const char *refusal = HeaderRefusal()) {
        ReportLoadFailure(window, refusal, "Error");
        CloseMapFile();
        SetLevelTitle(window, displayName);
        PlatInvalidate(window);
        return 0;
    }
    SetLevelTitle(window, displayName);

    if (!(StoresSurfaces() ? ReadSurfaceLevel(window, base, SurfaceTables()) : ReadEdgeLevel(window, base)))
        return 0;

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
