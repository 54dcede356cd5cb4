// visible.cpp - the index of a view's segments and its query; see visible.h.
#include "view/visible.h"

#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "map/model.h"

namespace {

// Everything the index was built from. The generation alone would do for
// the programs, which change the model only through the readers; the rest
// makes a stale index impossible whoever changes the model.
struct IndexKey {
    uint32_t generation;
    int viewMode;
    const void *vertices;
    const void *edges;
    int32_t vertexCount, edgeCount, edgeIndexSize;
    MapBoundsRecord bounds;
};

bool SameKey(const IndexKey &a, const IndexKey &b) {
    return a.generation == b.generation && a.viewMode == b.viewMode && a.vertices == b.vertices &&
           a.edges == b.edges && a.vertexCount == b.vertexCount && a.edgeCount == b.edgeCount &&
           a.edgeIndexSize == b.edgeIndexSize && std::memcmp(&a.bounds, &b.bounds, sizeof a.bounds) == 0;
}

IndexKey CurrentKey(int viewMode) {
    IndexKey key;
    std::memset(&key, 0, sizeof key);
    key.generation = MapGeneration;
    key.viewMode = viewMode;
    key.vertices = MapData.vertices;
    key.edges = MapData.edges;
    key.vertexCount = MapData.vertexCount;
    key.edgeCount = MapData.edgeCount;
    key.edgeIndexSize = MapData.edgeIndexSize;
    key.bounds = MapBounds;
    return key;
}

// Cells of 2^40 units hold any box of 32-bit coordinates (2^32 across).
enum { MAX_GRIDS = 41 };

// One grid of the hierarchy: cells of side 1 << shift, `columns` x `rows`
// of them from the index's base, numbered row after row from firstCell.
struct Grid {
    int shift;
    int64_t columns, rows;
    size_t firstCell;
    size_t segments;  // kept in this grid; an empty grid has no cells
};

struct SegmentIndex {
    bool built;
    IndexKey key;
    int64_t baseX, baseY;  // the lowest coordinates of the view's points
    int grids;
    Grid grid[MAX_GRIDS];
    std::vector<uint32_t> cellStart;    // per cell, where its segments begin; and the end
    std::vector<ViewSegment> segments;  // cell after cell
};

SegmentIndex theIndex;
std::vector<ViewSegment> found;  // the last query's answer

int64_t Min2(int64_t a, int64_t b) { return a < b ? a : b; }
int64_t Max2(int64_t a, int64_t b) { return a > b ? a : b; }

// The smallest k with 2^k >= v, for v >= 0.
int CeilLog2(uint64_t v) { return v <= 1 ? 0 : 64 - __builtin_clzll(v - 1); }

// The grid a segment belongs to: the first whose cells are as wide as the
// larger side of its box.
int ShiftOf(const ViewSegment &s, int firstShift) {
    int64_t w = int64_t(s.end.x) - s.start.x, h = int64_t(s.end.y) - s.start.y;
    int64_t size = Max2(w < 0 ? -w : w, h < 0 ? -h : h);
    int shift = CeilLog2(uint64_t(size));
    return shift < firstShift ? firstShift : shift;
}

size_t CellOf(const SegmentIndex &index, const Grid &g, const ViewSegment &s) {
    int64_t x = Min2(s.start.x, s.end.x) - index.baseX, y = Min2(s.start.y, s.end.y) - index.baseY;
    return g.firstCell + size_t((y >> g.shift) * g.columns + (x >> g.shift));
}

// The finest grid's cells: as small as they can be with no more cells
// than there are segments.
int FirstShift(int64_t spanX, int64_t spanY, int64_t segments) {
    int shift = 0;
    auto cells = [&](int s) {
        return (unsigned __int128)(((spanX - 1) >> s) + 1) * (unsigned __int128)(((spanY - 1) >> s) + 1);
    };
    while (shift < MAX_GRIDS - 1 && cells(shift) > (unsigned __int128)Max2(segments, 1)) shift++;
    return shift;
}

// Builds the index of the current model's view into `index`. False when
// memory runs out (the index is then left unbuilt).
bool BuildIndex(SegmentIndex *index, const ViewFrame *frame, const IndexKey &key) {
    index->built = false;
    index->cellStart.clear();
    index->segments.clear();
    // A count without its table (a model caught half-loaded) has nothing to draw.
    int32_t edges = MapData.edgeCount > 0 && MapTablesPresent() ? MapData.edgeCount : 0;
    const ViewPoint *points = edges ? ProjectVertices(frame) : nullptr;
    if (edges && !points) return false;

    // The box of the points, and each segment's grid.
    int64_t minX = 0, minY = 0, maxX = 0, maxY = 0;
    for (int32_t k = 0; k < (points ? MapData.vertexCount : 0); k++) {
        const ViewPoint &p = points[k];
        minX = k ? Min2(minX, p.x) : p.x, maxX = k ? Max2(maxX, p.x) : p.x;
        minY = k ? Min2(minY, p.y) : p.y, maxY = k ? Max2(maxY, p.y) : p.y;
    }
    index->baseX = minX;
    index->baseY = minY;
    int64_t spanX = maxX - minX + 1, spanY = maxY - minY + 1;
    int firstShift = FirstShift(spanX, spanY, edges);
    std::memset(index->grid, 0, sizeof index->grid);
    index->grids = 0;
    ViewSegment s;
    for (int32_t i = 0; i < edges; i++) {
        if (!ViewSegmentFrom(points, i, &s)) continue;
        int k = ShiftOf(s, firstShift) - firstShift;
        index->grid[k].segments++;
        if (k + 1 > index->grids) index->grids = k + 1;
    }
    size_t cells = 0;
    for (int k = 0; k < index->grids; k++) {
        Grid &g = index->grid[k];
        g.shift = firstShift + k;
        if (!g.segments) continue;
        g.columns = ((spanX - 1) >> g.shift) + 1;
        g.rows = ((spanY - 1) >> g.shift) + 1;
        g.firstCell = cells;
        cells += size_t(g.columns * g.rows);
    }

    // A counting sort of the segments by cell: count, add up, place.
    try {
        std::vector<uint32_t> cellOf;
        cellOf.reserve(size_t(edges));
        index->cellStart.assign(cells + 1, 0);
        for (int32_t i = 0; i < edges; i++) {
            if (!ViewSegmentFrom(points, i, &s)) {
                cellOf.push_back(UINT32_MAX);
                continue;
            }
            uint32_t cell = uint32_t(CellOf(*index, index->grid[ShiftOf(s, firstShift) - firstShift], s));
            cellOf.push_back(cell);
            index->cellStart[cell + 1]++;
        }
        for (size_t c = 0; c < cells; c++) index->cellStart[c + 1] += index->cellStart[c];
        index->segments.resize(index->cellStart[cells]);
        std::vector<uint32_t> next(index->cellStart.begin(), index->cellStart.end() - 1);
        for (int32_t i = 0; i < edges; i++) {
            if (cellOf[size_t(i)] == UINT32_MAX) continue;
            ViewSegmentFrom(points, i, &s);
            index->segments[next[cellOf[size_t(i)]]++] = s;
        }
    } catch (const std::bad_alloc &) {
        index->cellStart = std::vector<uint32_t>();
        index->segments = std::vector<ViewSegment>();
        return false;
    }
    index->key = key;
    index->built = true;
    return true;
}

// The logical coordinates whose pixel, floor((v - origin) * scale + 1/2),
// lies in [0, viewport - 1], as [*first, *last]: the mapping is monotone,
// so these are found near their estimates by the mapping itself.
void TouchingRange(int32_t origin, int32_t viewport, int32_t window, int64_t *first, int64_t *last) {
    float scale = DeviceScale(viewport, window);
    int64_t d = int64_t(std::ceil(-0.5 / double(scale)));
    while (MapWithScale(d, scale) < 0) d++;
    while (MapWithScale(d - 1, scale) >= 0) d--;
    int64_t e = int64_t(std::floor((double(viewport) - 0.5) / double(scale)));
    while (MapWithScale(e, scale) > viewport - 1) e--;
    while (MapWithScale(e + 1, scale) <= viewport - 1) e++;
    *first = origin + d;
    *last = origin + e;
}

// Every kept segment whose box meets [left, right] x [top, bottom], into found.
void Query(const SegmentIndex &index, int64_t left, int64_t right, int64_t top, int64_t bottom) {
    found.clear();
    for (int k = 0; k < index.grids; k++) {
        const Grid &g = index.grid[k];
        if (!g.segments) continue;
        // A box kept in column c starts in it and reaches at most into c + 1.
        int64_t c0 = Max2(((left - index.baseX) >> g.shift) - 1, 0);
        int64_t c1 = Min2((right - index.baseX) >> g.shift, g.columns - 1);
        int64_t r0 = Max2(((top - index.baseY) >> g.shift) - 1, 0);
        int64_t r1 = Min2((bottom - index.baseY) >> g.shift, g.rows - 1);
        if (c0 > c1 || r0 > r1) continue;
        for (int64_t r = r0; r <= r1; r++) {
            // The cells of a row lie one after the other.
            size_t row = g.firstCell + size_t(r * g.columns);
            const ViewSegment *s = index.segments.data() + index.cellStart[row + size_t(c0)];
            const ViewSegment *end = index.segments.data() + index.cellStart[row + size_t(c1) + 1];
            for (; s < end; s++) {
                if (Max2(s->start.x, s->end.x) < left || Min2(s->start.x, s->end.x) > right) continue;
                if (Max2(s->start.y, s->end.y) < top || Min2(s->start.y, s->end.y) > bottom) continue;
                found.push_back(*s);
            }
        }
    }
}

}  // namespace

int VisibleSegments(const ViewFrame *frame, int viewMode, const ViewRect *shown,
                    const ViewSegment **segments, size_t *count) {
    if (frame->viewportWidth <= 0 || frame->viewportHeight <= 0 || shown->width <= 0 || shown->height <= 0)
        return 0;
    IndexKey key = CurrentKey(viewMode);
    if (!(theIndex.built && SameKey(theIndex.key, key)) && !BuildIndex(&theIndex, frame, key)) return 0;
    int64_t left, right, top, bottom;
    TouchingRange(shown->x, frame->viewportWidth, shown->width, &left, &right);
    TouchingRange(shown->y, frame->viewportHeight, shown->height, &top, &bottom);
    try {
        Query(theIndex, left, right, top, bottom);
    } catch (const std::bad_alloc &) {
        found = std::vector<ViewSegment>();
        return 0;
    }
    *segments = found.data();
    *count = found.size();
    return 1;
}

void ReleaseVisibleIndex(void) {
    theIndex.built = false;
    theIndex.cellStart = std::vector<uint32_t>();
    theIndex.segments = std::vector<ViewSegment>();
    found = std::vector<ViewSegment>();
}
