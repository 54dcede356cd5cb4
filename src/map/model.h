// model.h - the one loaded level and its bounds.
//
// The program holds at most one level at a time, as plain global state owned
// by its single thread. The readers fill the model, the views only read it,
// and the shell empties it before every open-file choice and at exit.
#ifndef KORVITAN_MAP_MODEL_H
#define KORVITAN_MAP_MODEL_H

#include <cstdint>

#include "map/records.h"

struct PlatFile;

// The loaded level. The tables are heap blocks of exactly the lengths the
// level header gives; the counts are those lengths divided by the record
// size, remainder dropped. A count is set only once its table has been read
// whole, so a paint while a load's message is up finds either a table or
// a count of 0. The edge table holds its records as the file
// does, with 16-bit or 32-bit indices (edgeIndexSize); one block either way.
struct MapModel {
    PlatFile *file;        // open only while a load runs
    DirEntry *dirList;     // directory of the last archive opened, or null
    int32_t dirCount;
    Vertex *vertices;
    int32_t vertexCount;
    union {
        Edge *edges;          // when edgeIndexSize is 2
        WideEdge *wideEdges;  // when edgeIndexSize is 4
    };
    int32_t edgeCount;
    int32_t edgeIndexSize;  // 2 or 4 bytes; set by the reader before edgeCount
};

// Per-axis minimum and maximum of the vertices; all 0.0 at start.
struct MapBoundsRecord {
    float minX, maxX;
    float minY, maxY;
    float minZ, maxZ;
};

enum {
    // Room for any path the host can open (PATH_MAX on Linux, MAX_PATH on
    // Windows), so no chosen path is ever refused for its length.
    FILE_NAME_SIZE = 4096,
    SELECTED_MAP_NAME_SIZE = DIR_NAME_SIZE,
};

extern MapModel MapData;
extern MapBoundsRecord MapBounds;
// Counts the changes of the model: every release, every bounds measure and
// every end of a load adds one. A picture drawn at one count is still the
// picture of the model while the count stays the same, which lets the
// desktop window keep its finished picture between repaints.
extern uint32_t MapGeneration;
// The last path the user chose; never cleared, pre-fills the next choice.
extern char fileName[FILE_NAME_SIZE];
// The map chosen in the map list; empty text means none was chosen.
extern char selectedMapName[SELECTED_MAP_NAME_SIZE];

// Closes the file if open, frees the three tables and leaves the model
// empty. MapBounds and fileName are left alone.
void FreeMapData(void);
// Measures the vertex table into MapBounds. With no vertices MapBounds keeps
// the previous level's values.
void ComputeMapBounds(void);

// A level taken out of the model whole: its tables, bounds and the map
// chosen in it, so another load can run and the level be put back if that
// load fails.
struct KeptLevel {
    MapModel model;
    MapBoundsRecord bounds;
    char selectedMapName[SELECTED_MAP_NAME_SIZE];
};
// Moves the loaded level into *kept and leaves the model empty, as
// FreeMapData leaves it, without freeing anything.
void SetLevelAside(KeptLevel *kept);
// Releases whatever the model holds and puts the kept level back.
void PutLevelBack(KeptLevel *kept);
// Frees a kept level that is not wanted back.
void FreeKeptLevel(KeptLevel *kept);

// Closes the model's file, if open, so a later FreeMapData does not.
void CloseMapFile(void);

// Whether every count of the model has its table. The readers keep it so;
// the views test it all the same before they draw, since a paint can come
// from any message loop, and draw nothing without it.
inline int MapTablesPresent(void) {
    return (MapData.vertexCount <= 0 || MapData.vertices) && (MapData.edgeCount <= 0 || MapData.edges);
}

// The two vertex indices of edge i (0 <= i < edgeCount), widened to 32
// bits. The views read edges only through this, so the edge table's record
// layout is the model's own business.
inline void EdgeEnds(int32_t i, uint32_t *first, uint32_t *second) {
    if (MapData.edgeIndexSize == 4) {
        const WideEdge &edge = MapData.wideEdges[i];
        *first = edge.first;
        *second = edge.second;
        return;
    }
    const Edge &edge = MapData.edges[i];
    *first = edge.first;
    *second = edge.second;
}

#endif
