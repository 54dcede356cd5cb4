// demo_levels.h - builds the wireframes of the demo levels from a few
// architectural helpers, for mkdemo and for anything else that wants a level
// with recognisable shapes (benchmarks, tests).
//
// Every helper appends to a Wireframe. Points are snapped to 1/16 unit and
// shared, so a corner reached by two helpers is one vertex and a line drawn
// twice is stored once; snapping also keeps the bytes independent of the last
// bit of sin/cos in whichever maths library the tool was built with. Z is up.
//
// Each helper also records the faces its lines bound (polygons of vertex
// numbers), so a level can be written as surfaces too. The demo level's
// edges are its faces' outlines, each side once in each direction a face
// runs it (EdgesFromFaces): written as one planar surface per face, it
// then draws exactly the same directed lines, so exactly the same pixels.
#ifndef KORVITAN_DEMO_LEVELS_H
#define KORVITAN_DEMO_LEVELS_H

#include <cstdint>
#include <map>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "map/records.h"
#include "tools/level_writer.h"

struct Point {
    float x, y, z;
};

struct Wireframe {
    std::vector<Vertex> vertices;
    std::vector<Edge> edges;
    std::map<std::tuple<float, float, float>, uint16_t> vertexIndex;
    std::set<std::pair<uint16_t, uint16_t>> edgeSet;  // the lines, as (smaller, larger)
    std::vector<std::vector<uint16_t>> faces;  // polygons whose sides are the lines
    bool overflow = false;  // more vertices were asked for than 16-bit edges can index
};

// The horizontal axis a helper runs along.
enum Axis { ALONG_X, ALONG_Y };

enum Roof { SPIRE, BATTLEMENTS };

void AddLine(Wireframe &w, Point a, Point b);
// Records a face with these corners, in order; adds no line.
void AddFace(Wireframe &w, const std::vector<Point> &corners);
// Makes the edges the faces' sides: each side from a corner to the next,
// each directed pair once, face after face. Returns false when the faces
// do not bound exactly the lines the helpers drew (or a face repeats a
// corner, so that its outline is not its polygon).
bool EdgesFromFaces(Wireframe &w);
void AddPolyline(Wireframe &w, const std::vector<Point> &points, bool closed);

// The 12 edges of an axis-aligned box.
void AddBox(Wireframe &w, Point min, Point max);

// A doorway opening in a wall of the given depth: two jambs and a round or
// pointed (equilateral) head, on both faces, tied together through the wall.
// base is the middle of the threshold; the opening's width runs along `across`.
void AddArch(Wireframe &w, Point base, Axis across, float width, float spring, float depth,
             bool pointed);

// A wall `height` tall from start running `along`, with `count` arches
// separated by piers.
void AddArcade(Wireframe &w, Point start, Axis along, int count, float width, float pier,
               float spring, float depth, float height, bool pointed);

// A straight flight climbing from start along the axis (a negative run climbs
// backwards); the flight is `width` wide on the other horizontal axis.
void AddStairs(Wireframe &w, Point start, Axis climb, int steps, float run, float rise,
               float width);

// A polygonal tower standing on base (its centre), with one face facing -Y,
// storey lines every 256 units and a spire or battlements of roofHeight.
void AddTower(Wireframe &w, Point base, int sides, float radius, float height, Roof roof,
              float roofHeight);

// Rooms, corridors, arches, a stair and a tall spired tower; its edges are
// its faces' sides (EdgesFromFaces), facesMatch says whether they bound
// exactly the helpers' lines.
Wireframe DemoLevel(bool *facesMatch = nullptr);
Wireframe TowerLevel();  // a keep inside curtain walls with four corner towers
Wireframe HallsLevel();  // a long arcaded hall with aisles and a raised east end
// A town of 36 blocks (halls, arcades, towers, stairs, lofts): 15,808
// vertices and 22,228 edges, a level of everyday size for the benchmarks.
Wireframe TownLevel();

// The level's faces as planar surfaces, one for each face in order (see
// AddPlanarFace): the same outlines, so the same lines.
SurfaceLevel FaceSurfaces(const Wireframe &w);

// The town in the layouts that store surfaces, with surfaces of every
// kind: each face a planar surface, a barrel vault over each hall a patch
// (9 x 33 control points), the ground of each block a triangle soup (16 x
// 16 points); and 32 light maps of 128 x 128 texels, as such levels carry
// (1.5 MB the reader skips): 5 MB with 44-byte draw vertices. The
// benchmarks' level of that layout.
SurfaceLevel SurfaceTownLevel();

// A grid of boxes (rooms), 8 vertices and 12 edges each, with the remaining
// edges joining corners of nearby boxes, all from a fixed seed, so that
// lines are tens to hundreds of pixels long at 1920x1080. vertexCount is a
// multiple of 8 whose boxes fill a 2:1 grid (4096, 65536); edgeCount is at
// least 1.5 times vertexCount. The benchmarks' large levels.
void GridLevel(int32_t vertexCount, int32_t edgeCount, std::vector<Vertex> *vertices,
               std::vector<Edge> *edges);

#endif
