// model.cpp - the one loaded level: release and bounds.
#include "map/model.h"

#include <cstring>

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
    MapData.edgeIndexSize = 2;  // the original layout's, until a reader says otherwise
    MapGeneration++;
}

void SetLevelAside(KeptLevel *kept) {
    CloseMapFile();
    kept->model = MapData;
    kept->bounds = MapBounds;
    std::memcpy(kept->selectedMapName, selectedMapName, sizeof selectedMapName);
    MapData.dirList = nullptr;
    MapData.vertices = nullptr;
    MapData.edges = nullptr;
    FreeMapData();  // only the counts are left to clear
}

void PutLevelBack(KeptLevel *kept) {
    FreeMapData();
    MapData = kept->model;
    MapBounds = kept->bounds;
    std::memcpy(selectedMapName, kept->selectedMapName, sizeof selectedMapName);
    kept->model = MapModel{};
    MapGeneration++;
}

void FreeKeptLevel(KeptLevel *kept) {
    PlatFree(kept->model.dirList);
    PlatFree(kept->model.vertices);
    PlatFree(kept->model.edges);
    kept->model = MapModel{};
}

// The comparisons are written so that a coordinate that is not a number
// replaces a minimum but never a maximum, as the views expect of the bounds:
// the bounds are a fold over the vertices in table order. This is that fold
// as written; with NaN or -0 in the table (where the order decides: after
// a NaN only later vertices count for the minimum, and of +0 and -0 the
// first one met stays) it is the one used.
static void FoldBounds(const Vertex *v, int32_t n) {
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
}

// Four vertices are twelve floats, x y z x y z ..., three vectors of four
// lanes: lane j of vector k always holds axis (4k + j) % 3.
enum { GROUP_VERTICES = 4, GROUP_VECTORS = 3 };
typedef float Lanes __attribute__((vector_size(16)));
typedef int32_t LaneBits __attribute__((vector_size(16)));

// Per lane, the smaller / larger of a and b: one vector instruction each.
// (The caller checks for NaN apart, so how these treat it does not matter.)
static Lanes LowerOf(Lanes a, Lanes b) { return a < b ? a : b; }
static Lanes HigherOf(Lanes a, Lanes b) { return a > b ? a : b; }

// The lanes holding NaN or -0: coordinates for which the order of the
// fold matters.
static LaneBits OrderMatters(Lanes a) { return (LaneBits(a) == INT32_MIN) | (a != a); }

static Lanes LoadLanes(const unsigned char *bytes) {
    Lanes lanes;
    std::memcpy(&lanes, bytes, sizeof lanes);
    return lanes;
}

// Without NaN and -0 every order gives the same bounds, so the vertices are
// taken four at a time in three vectors whose lanes do not wait for one
// another, where the fold waits for the previous vertex at every step.
// Returns 0, with MapBounds untouched, when the table holds NaN or -0.
static int BoundsInAnyOrder(const Vertex *v, int32_t n) {
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(v);
    const size_t LANES = sizeof(Lanes);
    Lanes lo0 = LoadLanes(bytes), lo1 = LoadLanes(bytes + LANES), lo2 = LoadLanes(bytes + 2 * LANES);
    Lanes hi0 = lo0, hi1 = lo1, hi2 = lo2;
    LaneBits odd = {0, 0, 0, 0};
    int32_t groups = n / GROUP_VERTICES;
    for (int32_t g = 0; g < groups; g++) {
        const unsigned char *group = bytes + size_t(g) * GROUP_VERTICES * sizeof(Vertex);
        Lanes f0 = LoadLanes(group), f1 = LoadLanes(group + LANES), f2 = LoadLanes(group + 2 * LANES);
        lo0 = LowerOf(f0, lo0);
        lo1 = LowerOf(f1, lo1);
        lo2 = LowerOf(f2, lo2);
        hi0 = HigherOf(f0, hi0);
        hi1 = HigherOf(f1, hi1);
        hi2 = HigherOf(f2, hi2);
        odd |= OrderMatters(f0) | OrderMatters(f1) | OrderMatters(f2);
    }
    // Lane by lane into the axes, then the vertices after the last group.
    float low[3] = {v[0].x, v[0].y, v[0].z}, high[3] = {v[0].x, v[0].y, v[0].z};
    int32_t oddAxis = odd[0] | odd[1] | odd[2] | odd[3];
    auto take = [&](int axis, float f) {
        low[axis] = f < low[axis] ? f : low[axis];
        high[axis] = f > high[axis] ? f : high[axis];
        Lanes one = {f, 0, 0, 0};
        oddAxis |= OrderMatters(one)[0];
    };
    const Lanes lows[GROUP_VECTORS] = {lo0, lo1, lo2}, highs[GROUP_VECTORS] = {hi0, hi1, hi2};
    for (int k = 0; k < GROUP_VECTORS; k++)
        for (int j = 0; j < 4; j++) {
            take((4 * k + j) % 3, lows[k][j]);
            take((4 * k + j) % 3, highs[k][j]);
        }
    for (int32_t i = groups * GROUP_VERTICES; i < n; i++) {
        take(0, v[i].x);
        take(1, v[i].y);
        take(2, v[i].z);
    }
    if (oddAxis) return 0;
    MapBounds = MapBoundsRecord{low[0], high[0], low[1], high[1], low[2], high[2]};
    return 1;
}

void ComputeMapBounds(void) {
    int32_t n = MapData.vertexCount;
    if (n <= 0) return;
    if (n < GROUP_VERTICES || !BoundsInAnyOrder(MapData.vertices, n)) FoldBounds(MapData.vertices, n);
    MapGeneration++;
}
