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
// Only a file whose surfaces share their indices or vertices meets this;
// it keeps the made edges below indices + 2 x vertices and the time linear
// in the file. The memory a load takes: the positions (12 bytes a draw
// vertex), the index table as it lies in the file, room for indices + 2 x
// vertices edges of 8 bytes, and, once a surface needs it, a hash table of
// 8 bytes for 1.5 pairs per index still to read: never more than 6 times
// the file's size, no block more than 3 times. The surfaces themselves are
// read a run of records at a time and not held.
//
// Speed. Edges are made in one of three ways, all giving exactly the rule:
// a planar surface stored as a polygon's fan (as writers store polygons)
// has the polygon for its outline, made straight away; a surface of up to
// 256 vertices whose triangles name only its own counts its pairs as bits
// of a matrix on the stack; any other counts them in the hash table, with
// open addressing, cleared for each surface only as far as its size needs
// (so clearing is linear in the level too). No allocation per edge or
// surface.
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

Surface SurfaceAt(const unsigned char *record, uint32_t patchSizeAt) {
    SurfaceHead head;
    std::memcpy(&head, record, sizeof head);
    int32_t grid[2];
    std::memcpy(grid, record + patchSizeAt, sizeof grid);
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

// A slot of the hash table holds an unordered pair (the smaller number in
// the high half; numbers are below 2^27, as no table holds more draw
// vertices) and, in its top two bits, in how many triangles it was met:
// one or more. An empty slot is 0.
const uint64_t ONCE = 1ull << 62, SHARED = 2ull << 62, PAIR_BITS = ONCE - 1;

uint64_t PairOf(uint32_t a, uint32_t b) { return a < b ? uint64_t(a) << 32 | b : uint64_t(b) << 32 | a; }

// The hash table's size for a surface of `sides` triangle sides: no more
// than two thirds full however many of them are distinct.
uint64_t SlotsFor(uint64_t sides) { return sides + sides / 2 + 1; }

// A surface whose vertices are at most this many (as nearly all are) and
// whose triangles name only them counts its pairs in a matrix of bits on
// the stack, a row for each of its vertices, as many bits to a row.
enum { WINDOW = 256, WINDOW_WORDS = WINDOW * WINDOW / 64 };

struct EdgeMaker {
    const int32_t *indices;
    uint32_t indexCount;
    uint32_t vertexCount;
    WideEdge *out;  // room for indexCount + 2 x vertexCount edges
    uint32_t count;
    uint64_t indicesRead, pointsRead;  // the budget spent so far
    uint64_t *slots;  // the hash table, allocated for the first surface that needs it
    uint32_t slotCount;  // the part the current surface uses
};

void Emit(EdgeMaker *m, uint32_t a, uint32_t b) { m->out[m->count++] = WideEdge{a, b}; }

// The vertex numbers of triangle k of s; 0 when one lies outside the
// vertex table.
int TriangleAt(const EdgeMaker *m, const Surface &s, int64_t k, uint32_t v[3]) {
    const int32_t *index = m->indices + (s.firstIndex + 3 * k);
    for (int j = 0; j < 3; j++) {
        int64_t n = int64_t(s.firstVertex) + index[j];
        if (n < 0 || n >= int64_t(m->vertexCount)) return 0;
        v[j] = uint32_t(n);
    }
    return 1;
}

// Gets the hash table ready for a surface of `sides` sides. The first
// surface that needs it allocates it as large as any surface still to
// come can need: no later one may read more indices than are left.
int ClearSlots(EdgeMaker *m, uint64_t sides) {
    if (!m->slots) {
        uint64_t left = m->indexCount - (m->indicesRead - sides);
        m->slots = static_cast<uint64_t *>(PlatAlloc(size_t(SlotsFor(left)) * sizeof(uint64_t)));
        if (!m->slots) return 0;
    }
    m->slotCount = uint32_t(SlotsFor(sides));
    std::memset(m->slots, 0, m->slotCount * sizeof *m->slots);
    return 1;
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

void HashedOutline(EdgeMaker *m, const Surface &s, Triangles tri) {
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

void HashedSoup(EdgeMaker *m, const Surface &s, Triangles tri) {
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

// Makes the surface's edges with pairs held as bits: pair (a, b), a < b,
// is bit b of row a, both counted from the surface's first vertex (its
// relative numbers, then), a row being as many 64-bit words as the surface
// has vertices for; seen marks a pair met in one triangle, shared one met
// in more. Returns 0, having made nothing, when a triangle names a vertex
// of the table outside the surface's own.
int MakeInWindow(EdgeMaker *m, const Surface &s, Triangles tri) {
    uint32_t first = uint32_t(s.firstVertex), size = uint32_t(s.vertexCount), start = m->count;
    // With the surface's vertices all in the table, a relative number below
    // its vertex count names a vertex of the table; one that is not below
    // names a vertex outside the table (skipped) or outside the surface.
    if (s.firstVertex < 0 || int64_t(first) + size > int64_t(m->vertexCount)) return 0;
    uint32_t stride = (size + 63) / 64;
    uint64_t seen[WINDOW_WORDS], shared[WINDOW_WORDS];
    std::memset(seen, 0, size * stride * sizeof *seen);
    if (s.type == SURFACE_PLANAR) std::memset(shared, 0, size * stride * sizeof *shared);
    const int32_t *index = m->indices + (s.firstIndex + 3 * tri.first);
    const int64_t count = tri.end - tri.first;
    uint32_t v[3];
    for (int64_t k = 0; k < count; k++) {
        const uint32_t r[3] = {uint32_t(index[3 * k]), uint32_t(index[3 * k + 1]), uint32_t(index[3 * k + 2])};
        if ((r[0] >= size) | (r[1] >= size) | (r[2] >= size)) {
            if (!TriangleAt(m, s, tri.first + k, v)) continue;  // outside the table: skipped
            m->count = start;
            return 0;
        }
        uint32_t lo[3], hi[3], word[3];
        for (int j = 0; j < 3; j++) {
            uint32_t a = r[j], b = r[j == 2 ? 0 : j + 1];
            lo[j] = a < b ? a : b;
            hi[j] = a < b ? b : a;
            word[j] = lo[j] * stride + hi[j] / 64;
        }
        if (s.type == SURFACE_SOUP) {
            for (int j = 0; j < 3; j++) {
                uint64_t bit = 1ull << (hi[j] % 64);
                if (!(seen[word[j]] & bit)) Emit(m, first + r[j], first + r[j == 2 ? 0 : j + 1]);
                seen[word[j]] |= bit;
            }
            continue;
        }
        // A pair its own triangle named before is not counted again: with
        // three different corners, no pair is named twice.
        int degenerate = r[0] == r[1] || r[1] == r[2] || r[2] == r[0];
        for (int j = 0; j < 3; j++) {
            if (degenerate && ((j > 0 && lo[j] == lo[0] && hi[j] == hi[0]) ||
                               (j == 2 && lo[2] == lo[1] && hi[2] == hi[1])))
                continue;
            uint64_t bit = 1ull << (hi[j] % 64);
            shared[word[j]] |= seen[word[j]] & bit;
            seen[word[j]] |= bit;
        }
    }
    if (s.type == SURFACE_SOUP) return 1;
    for (int64_t k = 0; k < count; k++) {
        const uint32_t r[3] = {uint32_t(index[3 * k]), uint32_t(index[3 * k + 1]), uint32_t(index[3 * k + 2])};
        if ((r[0] >= size) | (r[1] >= size) | (r[2] >= size)) continue;
        for (int j = 0; j < 3; j++) {
            uint32_t a = r[j], b = r[j == 2 ? 0 : j + 1], lo = a < b ? a : b, hi = a < b ? b : a;
            if (!(shared[lo * stride + hi / 64] >> (hi % 64) & 1)) Emit(m, first + a, first + b);
        }
    }
    return 1;
}

// Whether a planar surface is stored as writers store a polygon of n
// corners: n vertices of its own, all in the table, and the fan (0, k,
// k + 1), k = 1 .. n - 2. Its outline is then the polygon, each side from
// a corner to the next, as the rule makes it: the sides 0-k, k = 2 .. n -
// 2, each lie in two triangles, the others in one.
int IsPolygonFan(const EdgeMaker *m, const Surface &s, Triangles tri) {
    int64_t n = tri.end - tri.first + 2;
    if (tri.first != 0 || s.vertexCount != n || s.firstVertex < 0 || s.firstVertex + n > int64_t(m->vertexCount))
        return 0;
    const int32_t *index = m->indices + s.firstIndex;
    for (int32_t k = 1; k + 1 < n; k++, index += 3)
        if (index[0] != 0 || index[1] != k || index[2] != k + 1) return 0;
    return 1;
}

void MakePolygon(EdgeMaker *m, const Surface &s) {
    uint32_t first = uint32_t(s.firstVertex), n = uint32_t(s.vertexCount);
    for (uint32_t i = 0; i + 1 < n; i++) Emit(m, first + i, first + i + 1);
    Emit(m, first + n - 1, first);
}

void MakeGrid(EdgeMaker *m, const Surface &s) {
    uint32_t w = uint32_t(s.width), h = uint32_t(s.height), first = uint32_t(s.firstVertex);
    for (uint32_t row = 0; row < h; row++)
        for (uint32_t col = 0; col + 1 < w; col++) Emit(m, first + row * w + col, first + row * w + col + 1);
    for (uint32_t col = 0; col < w; col++)
        for (uint32_t row = 0; row + 1 < h; row++) Emit(m, first + row * w + col, first + (row + 1) * w + col);
}

// Makes one surface's edges, once what it reads is charged to the budget.
// Returns 0 only when the hash table cannot be allocated.
int MakeSurface(EdgeMaker *m, const Surface &s) {
    if (s.type == SURFACE_PATCH) {
        if (!PatchInTable(s, m->vertexCount)) return 1;
        uint64_t points = uint64_t(s.width) * uint64_t(s.height);
        if (points > m->vertexCount - m->pointsRead) return 1;
        m->pointsRead += points;
        MakeGrid(m, s);
        return 1;
    }
    if (s.type != SURFACE_PLANAR && s.type != SURFACE_SOUP) return 1;
    Triangles tri = TrianglesInTable(s, m->indexCount);
    uint64_t sides = 3 * uint64_t(tri.end - tri.first);
    if (sides == 0 || sides > m->indexCount - m->indicesRead) return 1;
    m->indicesRead += sides;
    if (s.type == SURFACE_PLANAR && IsPolygonFan(m, s, tri)) {
        MakePolygon(m, s);
        return 1;
    }
    if (s.vertexCount > 0 && s.vertexCount <= WINDOW && MakeInWindow(m, s, tri)) return 1;
    if (!ClearSlots(m, sides)) return 0;
    if (s.type == SURFACE_PLANAR) HashedOutline(m, s, tri);
    else HashedSoup(m, s, tri);
    return 1;
}

// ---- Reading -----------------------------------------------------------------------------

// Draw vertices and surfaces are read through this buffer a run of
// records at a time: only the positions are ever held, and no surface.
enum { CHUNK_BYTES = 64 * 1024 };
unsigned char chunk[CHUNK_BYTES];

// Reads `count` records of recordSize bytes at position, a run at a time,
// handing each run to take(records, n). Returns 0 when the file delivers
// less, or take does.
template <typename Take>
int ReadRecords(int64_t position, uint32_t count, uint32_t recordSize, Take take) {
    if (count == 0) return 1;
    if (!PlatSeekFile(MapData.file, position)) return 0;
    uint32_t perChunk = CHUNK_BYTES / recordSize;
    for (uint32_t done = 0; done < count;) {
        uint32_t n = count - done < perChunk ? count - done : perChunk;
        if (PlatReadFile(MapData.file, chunk, n * recordSize) != n * recordSize || !take(chunk, n)) return 0;
        done += n;
    }
    return 1;
}

// The blocks a load holds besides the model's, freed on every way out.
void *indexBlock;
uint64_t *slotBlock;

void FreeWorkBlocks(void) {
    PlatFree(indexBlock);
    PlatFree(slotBlock);
    indexBlock = nullptr;
    slotBlock = nullptr;
}

void Fail(PlatWindow *window, const char *text, int releaseFirst) {
    FreeWorkBlocks();
    if (releaseFirst) ReleaseThenReport(window, text);
    else ReportThenRelease(window, text);
}

int ReadVertices(PlatWindow *window, int32_t base, const SurfaceTablesAt &at) {
    const BspLump &lump = at.drawVertices;
    int64_t position = LumpPosition(base, lump);
    uint32_t count = lump.length / at.drawVertexSize;
    if (!RegionInsideFile(position, lump.length)) {
        Fail(window, "Error Reading Vertices", 1);
        return 0;
    }
    Vertex *vertices = static_cast<Vertex *>(PlatAlloc(size_t(count) * sizeof(Vertex)));
    MapData.vertices = vertices;
    if (!vertices) {
        Fail(window, "Can't allocate memory for vertex.", 0);
        return 0;
    }
    uint32_t size = at.drawVertexSize;
    auto take = [&](const unsigned char *records, uint32_t n) {
        for (uint32_t i = 0; i < n; i++) std::memcpy(vertices++, records + size_t(i) * size, sizeof(Vertex));
        return 1;
    };
    if (!ReadRecords(position, count, size, take)) {
        Fail(window, "Error Reading Vertices", 1);
        return 0;
    }
    MapData.vertexCount = int32_t(count);
    ComputeMapBounds();
    return 1;
}

int ReadIndices(PlatWindow *window, int32_t base, const BspLump &lump) {
    int64_t position = LumpPosition(base, lump);
    if (!RegionInsideFile(position, lump.length)) {
        Fail(window, "Error Reading Edges", 1);
        return 0;
    }
    indexBlock = PlatAlloc(lump.length);
    if (!indexBlock) {
        Fail(window, "Can't allocate memory for Edges.", 0);
        return 0;
    }
    if (ReadRegion(position, indexBlock, lump.length)) return 1;
    Fail(window, "Error Reading Edges", 1);
    return 0;
}

}  // namespace

int ReadSurfaceLevel(PlatWindow *window, int32_t base, const SurfaceTablesAt &at) {
    if (!ReadVertices(window, base, at) || !ReadIndices(window, base, at.indices)) return 0;
    int64_t surfacesAt = LumpPosition(base, at.surfaces);
    if (!RegionInsideFile(surfacesAt, at.surfaces.length)) {
        Fail(window, "Error Reading Edges", 1);
        return 0;
    }
    EdgeMaker m = {static_cast<const int32_t *>(indexBlock), at.indices.length / uint32_t(sizeof(int32_t)),
                   uint32_t(MapData.vertexCount), nullptr, 0, 0, 0, nullptr, 0};
    // Room for the most edges the budget lets the surfaces make.
    MapData.edgeIndexSize = 4;
    MapData.wideEdges = static_cast<WideEdge *>(
        PlatAlloc((size_t(m.indexCount) + 2 * size_t(m.vertexCount)) * sizeof(WideEdge)));
    if (!MapData.wideEdges) {
        Fail(window, "Can't allocate memory for Edges.", 0);
        return 0;
    }
    m.out = MapData.wideEdges;
    int noMemory = 0;
    auto take = [&](const unsigned char *records, uint32_t n) {
        for (uint32_t i = 0; i < n; i++)
            if (!MakeSurface(&m, SurfaceAt(records + size_t(i) * at.surfaceSize, at.patchSizeAt))) {
                noMemory = 1;
                break;
            }
        slotBlock = m.slots;
        return !noMemory;
    };
    if (!ReadRecords(surfacesAt, at.surfaces.length / at.surfaceSize, at.surfaceSize, take)) {
        if (noMemory) Fail(window, "Can't allocate memory for Edges.", 0);
        else Fail(window, "Error Reading Edges", 1);
        return 0;
    }
    FreeWorkBlocks();
    // The edge count only now that its table is whole: a paint never sees
    // a half-made table.
    MapData.edgeCount = int32_t(m.count);
    return 1;
}
