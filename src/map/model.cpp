// model.cpp - the one loaded level: release and bounds.
#include "map/model.h"

#include "platform/platform.h"

MapModel MapData;
MapBoundsRecord MapBounds;
uint32_t MapGeneration;
char fileName[FILE_NAME_SIZE];
char selectedMapName[SELECTED_MAP_NAME_SIZE];

void CloseMapFile(void) {
    if (MapData.file) {
        PlatCloseFile(MapData.file);
        MapData.file = nullptr;
    }
}

void FreeMapData(void) {
    CloseMapFile();
    PlatFree(MapData.dirList);
    PlatFree(MapData.vertices);
    PlatFree(MapData.edges);
    MapData.dirList = nullptr;
    MapData.vertices = nullptr;
    MapData.edges = nullptr;
    MapData.dirCount = 0;
    MapData.vertexCount = 0;
    MapData.edgeCount = 0;
    MapGeneration++;
}

// The comparisons are written so that a coordinate that is not a number
// replaces a minimum but never a maximum, as the views expect of the bounds.
// One pass with the six running values in locals and no branch in the
// loop: each update is a select the compiler turns into a compare and a
// blend, with exactly these comparisons (signed zeros and NaN included).
void ComputeMapBounds(void) {
    int32_t n = MapData.vertexCount;
    if (n <= 0) return;
    const Vertex *v = MapData.vertices;
    float minX = v[0].x, maxX = v[0].x;
    float minY = v[0].y, maxY = v[0].y;
    float minZ = v[0].z, maxZ = v[0].z;
    for (int32_t i = 1; i < n; i++) {
        float x = v[i].x, y = v[i].y, z = v[i].z;
        minX = x >= minX ? minX : x;
        minY = y >= minY ? minY : y;
        minZ = z >= minZ ? minZ : z;
        maxX = x > maxX ? x : maxX;
        maxY = y > maxY ? y : maxY;
        maxZ = z > maxZ ? z : maxZ;
    }
    MapBounds = MapBoundsRecord{minX, maxX, minY, maxY, minZ, maxZ};
    MapGeneration++;
}
