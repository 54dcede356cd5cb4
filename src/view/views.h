// views.h - the six views: level bounds and edges -> logical extent and
// one line segment per edge.
//
// Each view stretches the projected bounding box of the level over the whole
// client area. The geometry is computed without any host call: each vertex
// is projected once per paint into a table the views keep (it grows when a
// level has more vertices than any before, so a repaint allocates nothing),
// and each edge's segment is its two ends looked up there. DrawView then
// issues the drawing calls through the platform layer.
//
// Numbers: bounds and vertex components are 32-bit floats; arithmetic is in
// double precision; each difference from an axis minimum and each oblique
// projection is rounded to a 32-bit float; every logical coordinate and
// extent is truncated toward zero to a signed 32-bit integer. The build must
// not fuse multiply-adds (-ffp-contract=off) for these to hold exactly.
#ifndef KORVITAN_VIEW_VIEWS_H
#define KORVITAN_VIEW_VIEWS_H

#include <cstdint>

#include "map/model.h"
#include "map/records.h"
#include "view/zoom.h"

struct PlatWindow;
struct PlatDC;

// The margin of the X-Y view, added to both coordinates of every point.
constexpr float XY_MARGIN = 10.0f;
// Length factor of the depth axis of the oblique views (bits 0x3F0031FC),
// and the shares of it that go right and up: cos and sin of 50 degrees.
constexpr float OBLIQUE_SCALE = 0.5007627f;
constexpr float OBLIQUE_COS = 0.64278764f;
constexpr float OBLIQUE_SIN = 0.76604444f;

// What one view computes once per paint before the edge loop.
struct ViewFrame {
    int oblique;     // 0 for X-Y, X-Z, Y-Z; 1 for the three 3D views
    float Vertex::*h;  // component drawn to the right
    float Vertex::*v;  // component drawn upward
    float Vertex::*d;  // depth component of an oblique view
    float minH, minV, minD;
    double flip;     // the vertical coordinate is flip - (point's height)
    double margin;   // added to both coordinates (X-Y view only)
    int32_t windowWidth, windowHeight;      // logical extent W, H
    int32_t viewportWidth, viewportHeight;  // the client size
};

struct ViewPoint {
    int32_t x, y;
};

struct ViewSegment {
    ViewPoint start, end;
};

// Sets up the frame of viewMode (105 to 110) for the current MapBounds and
// the given client size. Returns 0 for any other view mode.
int BeginViewFrame(int viewMode, int32_t clientRight, int32_t clientBottom, ViewFrame *frame);
// The segment of edge i of MapData, its two ends projected on the spot.
// Returns 0 when the edge names a vertex beyond the vertex table: such an
// edge is skipped and draws nothing; so does every edge of a model whose
// counts stand without their tables (see MapTablesPresent).
int ViewSegmentAt(const ViewFrame *frame, int32_t i, ViewSegment *segment);

// The logical point of any point of the level's space, by exactly the rules
// of a vertex: the difference from the level's bounds, the float rounding,
// the truncation. A point outside the bounds lands outside the extent.
ViewPoint ProjectPoint(const ViewFrame *frame, const Vertex *point);

// Every vertex of MapData projected for the frame, once, into the views'
// table: entry k is the logical point of vertex k, exactly as ViewSegmentAt
// computes it. The table is valid until the next call. Null when the table
// cannot grow to the level's size (out of memory), or when the model's
// counts stand without their tables; ViewSegmentAt still works then.
const ViewPoint *ProjectVertices(const ViewFrame *frame);

// The segment of edge i of MapData from a table of ProjectVertices: the
// same segment, and the same skipped edges, as ViewSegmentAt.
inline int ViewSegmentFrom(const ViewPoint *points, int32_t i, ViewSegment *segment) {
    uint32_t first, second;
    EdgeEnds(i, &first, &second);
    uint32_t count = uint32_t(MapData.vertexCount);
    if (first >= count || second >= count) return 0;
    segment->start = points[first];
    segment->end = points[second];
    return 1;
}

// Draws the view of the loaded level on dc: client size, anisotropic
// mapping of W x H onto it, then one MoveTo/LineTo pair per edge in table
// order. An unknown view mode draws nothing, and so does a model whose
// counts stand without their tables.
void DrawView(PlatWindow *window, PlatDC *dc, int viewMode);
// The same for the part of the view that shown names (null: the full view),
// kept within the full view: its extent is the window extent and its origin
// the window origin. The full view makes exactly DrawView's calls. A zoomed
// part draws only the segments that can light a pixel of a picture the
// size of the client area (view/visible.h), in no particular order: the
// same pixels as drawing every segment, for the programs that draw with
// the rasterizer's mapping (the Windows program is never zoomed).
void DrawViewPart(PlatWindow *window, PlatDC *dc, int viewMode, const ViewRect *shown);
// DrawViewPart with every edge's segment in table order, zoomed or not: for
// a listing of the segments rather than a picture.
void DrawViewPartInOrder(PlatWindow *window, PlatDC *dc, int viewMode, const ViewRect *shown);

#endif
