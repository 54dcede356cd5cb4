// model.cpp - the one loaded level: release and bounds.
#include "map/model.h"

#include "platform/platform.h"

MapModel MapData;
MapBoundsRecord MapBounds;
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
}

// The comparisons are written so that a coordinate that is not a number
// replaces a minimum but never a maximum, as the views expect of the bounds.
void ComputeMapBounds(void) {
    MapBoundsRecord &b = MapBounds;
    for (int32_t i = 0; i < MapData.vertexCount; i++) {
        const Vertex &v = MapData.vertices[i];
        if (i == 0) {
            b.minX = b.maxX = v.x;
            b.minY = b.maxY = v.y;
            b.minZ = b.maxZ = v.z;
        }
        if (!(v.x >= b.minX)) b.minX = v.x;
        if (!(v.y >= b.minY)) b.minY = v.y;
        if (!(v.z >= b.minZ)) b.minZ = v.z;
        if (v.x > b.maxX) b.maxX = v.x;
        if (v.y > b.maxY) b.maxY = v.y;
        if (v.z > b.maxZ) b.maxZ = v.z;
    }
}
