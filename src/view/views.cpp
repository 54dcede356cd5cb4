// views.cpp - extents and segments of the six views, and their drawing.
#include "view/views.h"

#include <cstdint>
#include <cstdlib>

#include "map/model.h"
#include "platform/platform.h"
#include "res/resource.h"
#include "view/visible.h"

// trunc toward zero to 32 bits; a value that is not a number gives 0, one
// beyond the 32-bit range the nearest end of it.
static int32_t Trunc32(double v) {
    if (v != v) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return int32_t(v);
}

// Each operation is rounded to double by itself; -ffp-contract=off keeps
// the compiler from fusing the multiply and the add.
static float Oblique(float a, float b, float factor) {
    double depth = double(b) * double(OBLIQUE_SCALE);
    double share = depth * double(factor);
    double sum = double(a) + share;
    return float(sum);
}

// a + (b * OBLIQUE_SCALE) * OBLIQUE_COS (resp. _SIN), each step rounded to
// double, the sum rounded to a 32-bit float.
static float ObliqueH(float a, float b) { return Oblique(a, b, OBLIQUE_COS); }
static float ObliqueV(float a, float b) { return Oblique(a, b, OBLIQUE_SIN); }

// The difference of a component from its axis minimum, rounded to float.
static float Relative(float component, float minimum) {
    return float(double(component) - double(minimum));
}

static float MinOf(float Vertex::*axis) {
    if (axis == &Vertex::x) return MapBounds.minX;
    if (axis == &Vertex::y) return MapBounds.minY;
    return MapBounds.minZ;
}

static float MaxOf(float Vertex::*axis) {
    if (axis == &Vertex::x) return MapBounds.maxX;
    if (axis == &Vertex::y) return MapBounds.maxY;
    return MapBounds.maxZ;
}

// The X-Y view keeps a border of 10 logical units on each side; its extent
// grows by 20, saturating rather than overflowing at the 32-bit limit.
static int32_t AddBorder(int32_t extent) {
    return extent > INT32_MAX - 20 ? INT32_MAX : extent + 20;
}

static void BeginOrthographic(ViewFrame *f, float Vertex::*h, float Vertex::*v, int border) {
    f->oblique = 0;
    f->h = h;
    f->v = v;
    f->d = h;
    f->minH = MinOf(h);
    f->minV = MinOf(v);
    f->minD = 0.0f;
    double rangeH = double(MaxOf(h)) - double(f->minH);
    double rangeV = double(MaxOf(v)) - double(f->minV);
    f->flip = rangeV;
    f->margin = border ? double(XY_MARGIN) : 0.0;
    f->windowWidth = border ? AddBorder(Trunc32(rangeH)) : Trunc32(rangeH);
    f->windowHeight = border ? AddBorder(Trunc32(rangeV)) : Trunc32(rangeV);
}

static void BeginOblique(ViewFrame *f, float Vertex::*h, float Vertex::*v, float Vertex::*d) {
    f->oblique = 1;
    f->h = h;
    f->v = v;
    f->d = d;
    f->minH = MinOf(h);
    f->minV = MinOf(v);
    f->minD = MinOf(d);
    f->margin = 0.0;
    float hMax = ObliqueH(MaxOf(h), MaxOf(d));
    float vMax = ObliqueV(MaxOf(v), MaxOf(d));
    float hMin = ObliqueH(f->minH, f->minD);
    float vMin = ObliqueV(f->minV, f->minD);
    f->windowWidth = Trunc32(double(hMax) - double(hMin));
    f->windowHeight = Trunc32(double(vMax) - double(vMin));
    f->flip = double(float(double(vMax) - double(vMin)));
}

int BeginViewFrame(int viewMode, int32_t clientRight, int32_t clientBottom, ViewFrame *frame) {
    switch (viewMode) {
    case IDM_VIEW_XY: BeginOrthographic(frame, &Vertex::x, &Vertex::y, 1); break;
    case IDM_VIEW_XZ: BeginOrthographic(frame, &Vertex::x, &Vertex::z, 0); break;
    case IDM_VIEW_YZ: BeginOrthographic(frame, &Vertex::y, &Vertex::z, 0); break;
    case IDM_VIEW_3DX: BeginOblique(frame, &Vertex::x, &Vertex::z, &Vertex::y); break;
    case IDM_VIEW_3DY: BeginOblique(frame, &Vertex::y, &Vertex::z, &Vertex::x); break;
    case IDM_VIEW_3DZ: BeginOblique(frame, &Vertex::x, &Vertex::y, &Vertex::z); break;
    default: return 0;
    }
    frame->viewportWidth = clientRight;
    frame->viewportHeight = clientBottom;
    return 1;
}

// The logical point of a vertex; OBLIQUE is the frame's oblique flag, a
// template argument so that the table's loop has no test per vertex, and
// the function is inlined into that loop.
template <int OBLIQUE>
[[gnu::always_inline]] inline static ViewPoint Project(const ViewFrame *f, const Vertex *vertex) {
    float rh = Relative(vertex->*(f->h), f->minH);
    float rv = Relative(vertex->*(f->v), f->minV);
    if (!OBLIQUE) {
        // The vertical range first, then the point's height subtracted from
        // it, then the margin: the order fixes the rounding.
        return ViewPoint{Trunc32(double(rh) + f->margin),
                         Trunc32((f->flip - double(rv)) + f->margin)};
    }
    float rd = Relative(vertex->*(f->d), f->minD);
    float sx = ObliqueH(rh, rd);
    float sy = ObliqueV(rv, rd);
    return ViewPoint{Trunc32(double(sx)), Trunc32(f->flip - double(sy))};
}

static ViewPoint ProjectVertex(const ViewFrame *f, const Vertex *vertex) {
    return f->oblique ? Project<1>(f, vertex) : Project<0>(f, vertex);
}

ViewPoint ProjectPoint(const ViewFrame *frame, const Vertex *point) { return ProjectVertex(frame, point); }

// The projected table: kept between paints, grown to the largest level
// seen. Plain C heap, not PlatAlloc: the platform's allocator is the
// readers' (and what the tests count of them).
static ViewPoint *projected;
static size_t projectedCapacity;

// One loop per kind of view, the frame copied into a local so that nothing
// of it is read again per vertex.
template <int OBLIQUE>
static void ProjectAll(const ViewFrame *frame, ViewPoint *out) {
    const ViewFrame f = *frame;
    const Vertex *vertices = MapData.vertices;
    int32_t n = MapData.vertexCount;
    for (int32_t k = 0; k < n; k++) out[k] = Project<OBLIQUE>(&f, &vertices[k]);
}

const ViewPoint *ProjectVertices(const ViewFrame *frame) {
    if (!MapTablesPresent()) return nullptr;
    size_t n = MapData.vertexCount > 0 ? size_t(MapData.vertexCount) : 0;
    if (n > projectedCapacity) {
        void *grown = std::realloc(projected, n * sizeof(ViewPoint));
        if (!grown) return nullptr;
        projected = static_cast<ViewPoint *>(grown);
        projectedCapacity = n;
    }
    if (frame->oblique) ProjectAll<1>(frame, projected);
    else ProjectAll<0>(frame, projected);
    return projected;
}

int ViewSegmentAt(const ViewFrame *frame, int32_t i, ViewSegment *segment) {
    if (!MapTablesPresent()) return 0;
    uint32_t first, second;
    EdgeEnds(i, &first, &second);
    uint32_t count = uint32_t(MapData.vertexCount);
    if (first >= count || second >= count) return 0;
    segment->start = ProjectVertex(frame, &MapData.vertices[first]);
    segment->end = ProjectVertex(frame, &MapData.vertices[second]);
    return 1;
}

void DrawView(PlatWindow *window, PlatDC *dc, int viewMode) {
    DrawViewPart(window, dc, viewMode, nullptr);
}

// Sets up the mapping of the part of the view to draw and returns the
// rectangle shown: the full view when shown is null.
static int BeginDrawing(PlatWindow *window, PlatDC *dc, int viewMode, const ViewRect *shown,
                        ViewFrame *frame, ViewRect *rect) {
    int32_t right = 0, bottom = 0;
    PlatGetClientSize(window, &right, &bottom);
    if (!BeginViewFrame(viewMode, right, bottom, frame)) return 0;
    PlatSetMapModeAnisotropic(dc);
    PlatSetViewportExt(dc, frame->viewportWidth, frame->viewportHeight);
    *rect = FullViewRect(frame->windowWidth, frame->windowHeight);
    if (shown) *rect = ClampViewRect(*shown, frame->windowWidth, frame->windowHeight);
    PlatSetWindowExt(dc, rect->width, rect->height);
    if (rect->x != 0 || rect->y != 0) PlatSetWindowOrg(dc, rect->x, rect->y);
    return 1;
}

// One MoveTo/LineTo pair per edge, in table order.
static void DrawEverySegment(PlatDC *dc, const ViewFrame *frame) {
    // A count without its table (a model caught half-loaded) draws nothing.
    if (!MapTablesPresent()) return;
    const ViewPoint *points = ProjectVertices(frame);
    ViewSegment segment;
    for (int32_t i = 0; i < MapData.edgeCount; i++) {
        int drawn = points ? ViewSegmentFrom(points, i, &segment) : ViewSegmentAt(frame, i, &segment);
        if (!drawn) continue;
        PlatMoveTo(dc, segment.start.x, segment.start.y);
        PlatLineTo(dc, segment.end.x, segment.end.y);
    }
}

void DrawViewPart(PlatWindow *window, PlatDC *dc, int viewMode, const ViewRect *shown) {
    ViewFrame frame;
    ViewRect rect;
    if (!BeginDrawing(window, dc, viewMode, shown, &frame, &rect)) return;
    // A zoomed part draws only the segments that can light one of its
    // pixels, in the index's order rather than the table's. The order does
    // not change the picture: the level's lines all set the pixels they
    // light to one value (black; overlays come after, as batches of their
    // own) and nothing else is drawn meanwhile, in the rasterizer as in a
    // vector picture (opaque strokes of one colour), so any order of them
    // gives the same pixels.
    const ViewSegment *visible = nullptr;
    size_t count = 0;
    if (!IsFullView(&rect, frame.windowWidth, frame.windowHeight) &&
        VisibleSegments(&frame, viewMode, &rect, &visible, &count)) {
        for (size_t k = 0; k < count; k++) {
            PlatMoveTo(dc, visible[k].start.x, visible[k].start.y);
            PlatLineTo(dc, visible[k].end.x, visible[k].end.y);
        }
        return;
    }
    DrawEverySegment(dc, &frame);
}

void DrawViewPartInOrder(PlatWindow *window, PlatDC *dc, int viewMode, const ViewRect *shown) {
    ViewFrame frame;
    ViewRect rect;
    if (BeginDrawing(window, dc, viewMode, shown, &frame, &rect)) DrawEverySegment(dc, &frame);
}
