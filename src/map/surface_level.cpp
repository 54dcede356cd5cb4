// surface_level.cpp - reads a level that stores surfaces and makes its edges.
//
// The vertex table is every draw vertex's position, in order. The edges are
// made surface by surface, in table order, as pairs of vertex numbers (the
// surface's first vertex plus a number from the index table):
//   planar (1)  its outline: each edge of its triangles (the index triples
//               at first index + 3k; edges a->b, b->c, c->a) that belongs
//               to exactly one triangle of the surface, in order of
//               triangles and then edges;
//   patch (2)   its control grid of width w and height h from the first
//               vertex: every row's neighbours, row by row from the top,
//               each left to right; then every column's neighbours, column
//               by column from the left, each top to bottom. Skipped when w
//               or h is below 2 or w*h exceeds the surface's vertex count;
//   soup (3)    every distinct edge of its triangles, once, in order of
//               first appearance;
//   any other   nothing.
// A triangle or grid that names an index or a vertex outside its table is
// skipped; trailing indices that make no whole triangle are ignored.
//
// Bounds. A level as any writer lays it out gives each surface indices and
// vertices of its own, so the triangles of all surfaces together read each
// index at most once, and the grids each vertex at most once. The reader
// holds the surfaces to that: a planar or soup surface whose triangles
// would take the indices read so far past the table's count, or a patch
// whose grid would take the points past the vertex count, makes no edges.
// Only a file whose surfaces share their indices or vertices meets this,
// and it keeps the made edges below indices + 2 x vertices and the time
// linear in the file. The memory a load takes: the positions (12 bytes a
// draw vertex), the index table and the surfaces as they lie in the file,
// 8 bytes for every edge the surfaces may make, and a table of 8 bytes for
// 1.5 pairs per index of the largest planar or soup surface: never more
// than 6 times the file's size, no block more than 3 times.
//
// Pairs are found in a hash table sized for one surface at a time, cleared
// before each (its size follows the surface, so clearing is linear in the
// level too), with open addressing: no allocation per edge.
#include "map/surface_level.h"

#include <cstring>

#include "map/level_reader.h"
#include "map/load_report.h"
#include "map/model.h"
#include "platform/platform.h"

namespace {

// One surface record's numbers the rule uses.
struct Surface {
    int32_t type;
    int32_t firstVertex;
    int32_t vertexCount;
    int32_t firstIndex;
    int32_t indexCount;
    int32_t width;  // of a patch's grid
    int32_t height;
};

// The tables once read.
struct Tables {
    const int32_t *indices;
    uint32_t indexCount;
    const unsigned char *surfaces;
    uint32_t surfaceCount;
    uint32_t surfaceSize;
    uint32_t patchSizeAt;
    uint32_t vertexCount;
};

Surface SurfaceAt(const Tables &t, uint32_t i) {
    const unsigned char *record = t.surfaces + size_t(i) * t.surfaceSize;
    SurfaceHead head;
    std::memcpy(&head, record, sizeof head);
    int32_t grid[2];
    std::memcpy(grid, record + t.patchSizeAt, sizeof grid);
    return {head.type, head.firstVertex, head.vertexCount, head.firstIndex, head.indexCount, grid[0], grid[1]};
}

// The triangles k in [first, end) of a surface whose three indices lie
// inside the index table: first index + 3k >= 0 and + 3k + 2 < the count.
struct Triangles {
    int64_t first, end;
};

Triangles TrianglesInTable(const Surface &s, uint32_t indexCount) {
    int64_t whole = s.indexCount > 0 ? s.indexCount / 3 : 0;
    int64_t start = s.firstIndex, room = int64_t(indexCount) - start;
    int64_t end = room > 0 ? room / 3 : 0;
    if (end > whole) end = whole;
    int64_t first = start >= 0 ? 0 : (2 - start) / 3;
    return {first < end ? first : end, end};
}

int PatchInTable(const Surface &s, uint32_t vertexCount) {
    if (s.width < 2 || s.height < 2) return 0;
    int64_t points = int64_t(s.width) * s.height;
    return points <= s.vertexCount && s.firstVertex >= 0 && s.firstVertex + points <= int64_t(vertexCount);
}

// What the surfaces so far have read: indices of planar and soup
// surfaces, points of patches.
struct Budget {
    uint64_t indices, points;
};

// The most edges surface s may make, with what it reads charged to the
// budget; 0 when it makes none (its type draws nothing, its grid is
// skipped, or it would go beyond the budget).
uint64_t Admit(const Tables &t, const Surface &s, Budget *budget) {
    if (s.type == SURFACE_PLANAR || s.type == SURFACE_SOUP) {
        Triangles tri = TrianglesInTable(s, t.indexCount);
        uint64_t indices = 3 * uint64_t(tri.end - tri.first);
        if (indices > t.indexCount - budget->indices) return 0;
        budget->indices += indices;
        return indices;
    }
    if (s.type == SURFACE_PATCH && PatchInTable(s, t.vertexCount)) {
        uint64_t points = uint64_t(s.width) * uint64_t(s.height);
        if (points > t.vertexCount - budget->points) return 0;
        budget->points += points;
        return 2 * points - uint64_t(s.width) - uint64_t(s.height);
    }
    return 0;
}

// The hash table's size for a surface of `edges` triangle edges: no more
// than two thirds full however many of them are distinct.
uint64_t SlotsFor(uint64_t edges) { return edges + edges / 2 + 1; }

// Room for the edges and the largest surface's hash table.
struct EdgePlan {
    uint64_t edges, slots;
};

EdgePlan PlanEdges(const Tables &t) {
    Budget budget = {0, 0};
    EdgePlan plan = {0, 1};
    for (uint32_t i = 0; i < t.surfaceCount; i++) {
        Surface s = SurfaceAt(t, i);
        uint64_t edges = Admit(t, s, &budget);
        plan.edges += edges;
        if (s.type != SURFACE_PATCH && SlotsFor(edges) > plan.slots) plan.slots = SlotsFor(edges);
    }
    return plan;
}

// A slot holds an unordered pair (the smaller number in the high half;
// numbers are below 2^27, as no table holds more draw vertices) and, in
// its top two bits, how many triangles it was met in: once or more. An
// empty slot is 0.
const uint64_t ONCE = 1ull << 62, SHARED = 2ull << 62, PAIR_BITS = ONCE - 1;

uint64_t PairOf(uint32_t a, uint32_t b) { return a < b ? uint64_t(a) << 32 | b : uint64_t(b) << 32 | a; }

struct EdgeMaker {
    const Tables *t;
    WideEdge *out;
    uint32_t count;
    uint64_t *slots;
    uint32_t slotCount;  // of the current surface
};

void ClearSlots(EdgeMaker *m, uint64_t edges) {
    m->slotCount = uint32_t(SlotsFor(edges));
    std::memset(m->slots, 0, m->slotCount * sizeof *m->slots);
}

// The slot that holds pair, or the empty one where it belongs. The table
// always has an empty slot, so the probe ends.
uint64_t *SlotOf(EdgeMaker *m, uint64_t pair) {
    uint32_t hash = uint32_t((pair * 0x9E3779B97F4A7C15ull) >> 32);
    uint32_t i = uint32_t((uint64_t(hash) * m->slotCount) >> 32);
    while (m->slots[i] && (m->slots[i] & PAIR_BITS) != pair)
        if (++i == m->slotCount) i = 0;
    return &m->slots[i];
}

void Emit(EdgeMaker *m, uint32_t a, uint32_t b) { m->out[m->count++] = WideEdge{a, b}; }

// The vertex numbers of triangle k of s; 0 when one lies outside the
// vertex table.
int TriangleAt(const EdgeMaker *m, const Surface &s, int64_t k, uint32_t v[3]) {
    const int32_t *index = m->t->indices + (s.firstIndex + 3 * k);
    for (int j = 0; j < 3; j++) {
        int64_t n = int64_t(s.firstVertex) + index[j];
        if (n < 0 || n >= int64_t(m->t->vertexCount)) return 0;
        v[j] = uint32_t(n);
    }
    return 1;
}

// Counts the triangle's pair once even if a degenerate triangle names it
// twice: the count is of triangles.
void CountTriangle(EdgeMaker *m, const uint32_t v[3]) {
    uint64_t p[3] = {PairOf(v[0], v[1]), PairOf(v[1], v[2]), PairOf(v[2], v[0])};
    for (int j = 0; j < 3; j++) {
        if ((j > 0 && p[j] == p[0]) || (j > 1 && p[j] == p[1])) continue;
        uint64_t *slot = SlotOf(m, p[j]);
        *slot = p[j] | (*slot ? SHARED : ONCE);
    }
}

void MakeOutline(EdgeMaker *m, const Surface &s, Triangles tri) {
    ClearSlots(m, 3 * uint64_t(tri.end - tri.first));
    uint32_t v[3];
    for (int64_t k = tri.first; k < tri.end; k++)
        if (TriangleAt(m, s, k, v)) CountTriangle(m, v);
    for (int64_t k = tri.first; k < tri.end; k++) {
        if (!TriangleAt(m, s, k, v)) continue;
        for (int j = 0; j < 3; j++) {
            uint32_t a = v[j], b = v[(j + 1) % 3];
            if ((*SlotOf(m, PairOf(a, b)) & ~PAIR_BITS) == ONCE) Emit(m, a, b);
        }
    }
}

void MakeSoup(EdgeMaker *m, const Surface &s, Triangles tri) {
    ClearSlots(m, 3 * uint64_t(tri.end - tri.first));
    uint32_t v[3];
    for (int64_t k = tri.first; k < tri.end; k++) {
        if (!TriangleAt(m, s, k, v)) continue;
        for (int j = 0; j < 3; j++) {
            uint32_t a = v[j], b = v[(j + 1) % 3];
            uint64_t *slot = SlotOf(m, PairOf(a, b));
            if (*slot) continue;
            *slot = PairOf(a, b) | ONCE;
            Emit(m, a, b);
        }
    }
}

void MakeGrid(EdgeMaker *m, const Surface &s) {
    uint32_t w = uint32_t(s.width), h = uint32_t(s.height), first = uint32_t(s.firstVertex);
    for (uint32_t row = 0; row < h; row++)
        for (uint32_t col = 0; col + 1 < w; col++) Emit(m, first + row * w + col, first + row * w + col + 1);
    for (uint32_t col = 0; col < w; col++)
        for (uint32_t row = 0; row + 1 < h; row++) Emit(m, first + row * w + col, first + (row + 1) * w + col);
}

// Makes the edges into out, which has room for PlanEdges' count, with
// slots as large as it asks for. Returns the number made.
uint32_t MakeEdges(const Tables &t, WideEdge *out, uint64_t *slots) {
    EdgeMaker m = {&t, out, 0, slots, 0};
    Budget budget = {0, 0};
    for (uint32_t i = 0; i < t.surfaceCount; i++) {
        Surface s = SurfaceAt(t, i);
        if (!Admit(t, s, &budget)) continue;
        if (s.type == SURFACE_PATCH) MakeGrid(&m, s);
        else if (s.type == SURFACE_PLANAR) MakeOutline(&m, s, TrianglesInTable(s, t.indexCount));
        else MakeSoup(&m, s, TrianglesInTable(s, t.indexCount));
    }
    return m.count;
}

// ---- Reading -----------------------------------------------------------------------------

// Draw vertices are read through this buffer a run of records at a time,
// so only their positions are ever held.
enum { CHUNK_BYTES = 64 * 1024 };
unsigned char chunk[CHUNK_BYTES];

int ReadPositions(int64_t position, uint32_t count, uint32_t recordSize, Vertex *out) {
    if (count == 0) return 1;
    if (!PlatSeekFile(MapData.file, position)) return 0;
    uint32_t perChunk = CHUNK_BYTES / recordSize;
    for (uint32_t done = 0; done < count;) {
        uint32_t n = count - done < perChunk ? count - done : perChunk;
        uint32_t bytes = n * recordSize;
        if (PlatReadFile(MapData.file, chunk, bytes) != bytes) return 0;
        for (uint32_t i = 0; i < n; i++)
            std::memcpy(&out[done + i], chunk + size_t(i) * recordSize, sizeof(Vertex));
        done += n;
    }
    return 1;
}

// The blocks a load holds besides the model's, freed on every way out.
void *indexBlock, *surfaceBlock, *slotBlock;

void FreeWorkBlocks(void) {
    PlatFree(indexBlock);
    PlatFree(surfaceBlock);
    PlatFree(slotBlock);
    indexBlock = surfaceBlock = slotBlock = nullptr;
}

// Reads a whole lump into *block. Returns 0 after the failure has been
// reported and everything released.
int ReadLump(PlatWindow *window, int32_t base, const BspLump &lump, void **block) {
    int64_t position = LumpPosition(base, lump);
    if (!RegionInsideFile(position, lump.length)) {
        FreeWorkBlocks();
        ReleaseThenReport(window, "Error Reading Edges");
        return 0;
    }
    *block = PlatAlloc(lump.length);
    if (!*block) {
        FreeWorkBlocks();
        ReportThenRelease(window, "Can't allocate memory for Edges.");
        return 0;
    }
    if (ReadRegion(position, *block, lump.length)) return 1;
    FreeWorkBlocks();
    ReleaseThenReport(window, "Error Reading Edges");
    return 0;
}

int ReadVertices(PlatWindow *window, int32_t base, const SurfaceTablesAt &at) {
    const BspLump &lump = at.drawVertices;
    int64_t position = LumpPosition(base, lump);
    uint32_t count = lump.length / at.drawVertexSize;
    if (!RegionInsideFile(position, lump.length)) {
        ReleaseThenReport(window, "Error Reading Vertices");
        return 0;
    }
    MapData.vertices = static_cast<Vertex *>(PlatAlloc(size_t(count) * sizeof(Vertex)));
    if (!MapData.vertices) {
        ReportThenRelease(window, "Can't allocate memory for vertex.");
        return 0;
    }
    if (!ReadPositions(position, count, at.drawVertexSize, MapData.vertices)) {
        ReleaseThenReport(window, "Error Reading Vertices");
        return 0;
    }
    MapData.vertexCount = int32_t(count);
    ComputeMapBounds();
    return 1;
}

}  // namespace

int ReadSurfaceLevel(PlatWindow *window, int32_t base, const SurfaceTablesAt &at) {
    if (!ReadVertices(window, base, at)) return 0;
    if (!ReadLump(window, base, at.indices, &indexBlock)) return 0;
    if (!ReadLump(window, base, at.surfaces, &surfaceBlock)) return 0;

    Tables t = {static_cast<const int32_t *>(indexBlock), at.indices.length / uint32_t(sizeof(int32_t)),
                static_cast<const unsigned char *>(surfaceBlock), at.surfaces.length / at.surfaceSize,
                at.surfaceSize, at.patchSizeAt, uint32_t(MapData.vertexCount)};
    EdgePlan plan = PlanEdges(t);
    MapData.edgeIndexSize = 4;
    MapData.wideEdges = static_cast<WideEdge *>(PlatAlloc(size_t(plan.edges) * sizeof(WideEdge)));
    slotBlock = MapData.wideEdges ? PlatAlloc(size_t(plan.slots) * sizeof(uint64_t)) : nullptr;
    if (!slotBlock) {
        FreeWorkBlocks();
        ReportThenRelease(window, "Can't allocate memory for Edges.");
        return 0;
    }
    uint32_t made = MakeEdges(t, MapData.wideEdges, static_cast<uint64_t *>(slotBlock));
    FreeWorkBlocks();
    // The edge count only now that its table is whole: a paint never sees
    // a half-made table.
    MapData.edgeCount = int32_t(made);
    return 1;
}
