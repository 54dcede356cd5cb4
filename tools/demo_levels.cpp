// demo_levels.cpp - see demo_levels.h.
#include "tools/demo_levels.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

static const float PI = 3.14159265358979f;

static float Snap(float v) {
    // + 0.0f turns a snapped -0 into +0, so both share one vertex.
    return std::round(v * 16.0f) / 16.0f + 0.0f;
}

static uint16_t AddPoint(Wireframe &w, Point p) {
    Vertex v = {Snap(p.x), Snap(p.y), Snap(p.z)};
    auto key = std::make_tuple(v.x, v.y, v.z);
    auto found = w.vertexIndex.find(key);
    if (found != w.vertexIndex.end()) return found->second;
    if (w.vertices.size() >= 65536) {
        w.overflow = true;
        return 0;
    }
    uint16_t index = uint16_t(w.vertices.size());
    w.vertices.push_back(v);
    w.vertexIndex.emplace(key, index);
    return index;
}

void AddLine(Wireframe &w, Point a, Point b) {
    uint16_t i = AddPoint(w, a), j = AddPoint(w, b);
    if (i == j) return;  // a line that snapped to a single point draws nothing
    if (!w.edgeSet.insert({std::min(i, j), std::max(i, j)}).second) return;
    w.edges.push_back(Edge{i, j});
}

void AddFace(Wireframe &w, const std::vector<Point> &corners) {
    std::vector<uint16_t> face;
    for (Point p : corners) face.push_back(AddPoint(w, p));
    w.faces.push_back(face);
}

bool EdgesFromFaces(Wireframe &w) {
    std::set<std::pair<uint16_t, uint16_t>> directed, sides;
    std::vector<Edge> edges;
    bool polygons = true;
    for (const std::vector<uint16_t> &face : w.faces) {
        std::set<uint16_t> corners(face.begin(), face.end());
        polygons = polygons && face.size() >= 3 && corners.size() == face.size();
        for (size_t i = 0; i < face.size(); i++) {
            uint16_t a = face[i], b = face[(i + 1) % face.size()];
            sides.insert({std::min(a, b), std::max(a, b)});
            if (directed.insert({a, b}).second) edges.push_back(Edge{a, b});
        }
    }
    w.edges = edges;
    return polygons && sides == w.edgeSet;
}

SurfaceLevel FaceSurfaces(const Wireframe &w) {
    SurfaceLevel level;
    for (const std::vector<uint16_t> &face : w.faces) {
        std::vector<Vertex> corners;
        for (uint16_t i : face) corners.push_back(w.vertices[i]);
        AddPlanarFace(&level, corners);
    }
    return level;
}

void AddPolyline(Wireframe &w, const std::vector<Point> &points, bool closed) {
    for (size_t i = 0; i + 1 < points.size(); i++) AddLine(w, points[i], points[i + 1]);
    if (closed && points.size() > 2) AddLine(w, points.back(), points.front());
}

void AddBox(Wireframe &w, Point lo, Point hi) {
    std::vector<Point> bottom = {{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z},
                                 {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z}};
    std::vector<Point> top = bottom;
    for (Point &p : top) p.z = hi.z;
    AddPolyline(w, bottom, true);
    AddPolyline(w, top, true);
    for (size_t i = 0; i < 4; i++) AddLine(w, bottom[i], top[i]);
    // The top runs the other way round, so it and the sides run their
    // shared sides alike.
    AddFace(w, bottom);
    AddFace(w, {top[0], top[3], top[2], top[1]});
    for (size_t i = 0; i < 4; i++) AddFace(w, {bottom[i], bottom[(i + 1) % 4], top[(i + 1) % 4], top[i]});
}

// Maps (u along the axis, v across it, z up) to the world.
static Point Place(Point origin, Axis axis, float u, float v, float z) {
    if (axis == ALONG_X) return {origin.x + u, origin.y + v, origin.z + z};
    return {origin.x + v, origin.y + u, origin.z + z};
}

void AddArch(Wireframe &w, Point base, Axis across, float width, float spring, float depth,
             bool pointed) {
    const int HALF_SEGMENTS = 6;
    float h = width / 2;
    // The outline of the opening in (u, z): up one jamb, over the head, down the other.
    std::vector<std::pair<float, float>> outline = {{-h, 0}, {-h, spring}};
    for (int i = 1; i < 2 * HALF_SEGMENTS; i++) {
        float t = float(i) / (2 * HALF_SEGMENTS);
        if (!pointed) {
            float a = PI * (1 - t);
            outline.push_back({h * std::cos(a), spring + h * std::sin(a)});
        } else {
            // Each side is an arc of radius `width` centred on the opposite
            // springing point; the two meet at the apex, sqrt(3)*h up.
            float a = PI - (PI / 3) * (t <= 0.5f ? 2 * t : 2 * (1 - t));
            float u = h + width * std::cos(a);
            outline.push_back({t <= 0.5f ? u : -u, spring + width * std::sin(a)});
        }
    }
    outline.push_back({h, spring});
    outline.push_back({h, 0});
    std::vector<Point> front, back;
    for (auto [u, z] : outline) {
        front.push_back(Place(base, across, u, -depth / 2, z));
        back.push_back(Place(base, across, u, depth / 2, z));
    }
    AddPolyline(w, front, false);
    AddPolyline(w, back, false);
    for (size_t i = 0; i < front.size(); i++) AddLine(w, front[i], back[i]);
    // The soffit: one strip through the wall for each piece of the outline.
    for (size_t i = 0; i + 1 < front.size(); i++) AddFace(w, {front[i], front[i + 1], back[i + 1], back[i]});
}

void AddArcade(Wireframe &w, Point start, Axis along, int count, float width, float pier,
               float spring, float depth, float height, bool pointed) {
    float length = float(count) * (width + pier) + pier;
    AddBox(w, Place(start, along, 0, -depth / 2, 0), Place(start, along, length, depth / 2, height));
    for (int i = 0; i < count; i++)
        AddArch(w, Place(start, along, pier + width / 2 + float(i) * (width + pier), 0, 0), along, width,
                spring, depth, pointed);
}

void AddStairs(Wireframe &w, Point start, Axis climb, int steps, float run, float rise,
               float width) {
    // The sawtooth side profile in (s along the climb, z), closed under the flight.
    std::vector<std::pair<float, float>> profile = {{0, 0}};
    for (int i = 0; i < steps; i++) {
        float s = float(i) * run, z = float(i + 1) * rise;
        profile.push_back({s, z});
        profile.push_back({s + run, z});
    }
    profile.push_back({float(steps) * run, 0});
    std::vector<Point> left, right;
    for (auto [s, z] : profile) {
        left.push_back(Place(start, climb, s, 0, z));
        right.push_back(Place(start, climb, s, width, z));
    }
    AddPolyline(w, left, true);
    AddPolyline(w, right, true);
    for (size_t i = 0; i < left.size(); i++) AddLine(w, left[i], right[i]);
    // Both sides, and the treads, risers, back and floor between them.
    AddFace(w, left);
    AddFace(w, right);
    for (size_t i = 0; i < left.size(); i++) {
        size_t j = (i + 1) % left.size();
        AddFace(w, {left[i], left[j], right[j], right[i]});
    }
}

void AddTower(Wireframe &w, Point base, int sides, float radius, float height, Roof roof,
              float roofHeight) {
    std::vector<Point> corners;  // at the foot
    float n = float(sides);
    for (int i = 0; i < sides; i++) {
        // Offset by half a side so that one face, not a corner, faces -Y.
        float a = -PI / 2 + PI / n + float(i) * 2 * PI / n;
        corners.push_back({base.x + radius * std::cos(a), base.y + radius * std::sin(a), base.z});
    }
    auto raised = [&](Point p, float z) { return Point{p.x, p.y, base.z + z}; };
    // Each storey line is a floor of its own, a face.
    for (float z = 0; z < height; z += 256) {
        std::vector<Point> ring;
        for (Point c : corners) ring.push_back(raised(c, z));
        AddPolyline(w, ring, true);
        AddFace(w, ring);
    }
    std::vector<Point> top, parapet;
    for (Point c : corners) top.push_back(raised(c, height));
    AddPolyline(w, top, true);
    for (size_t i = 0; i < corners.size(); i++) AddLine(w, corners[i], top[i]);
    AddFace(w, top);
    for (size_t i = 0; i < corners.size(); i++) {
        size_t j = (i + 1) % corners.size();
        AddFace(w, {corners[i], corners[j], top[j], top[i]});
    }
    if (roof == SPIRE) {
        Point apex = {base.x, base.y, base.z + height + roofHeight};
        for (Point t : top) AddLine(w, t, apex);
        for (size_t i = 0; i < top.size(); i++) AddFace(w, {top[i], top[(i + 1) % top.size()], apex});
        return;
    }
    // Battlements: a square wave along each side, two merlons and two gaps.
    for (size_t i = 0; i < top.size(); i++) {
        Point a = top[i], b = top[(i + 1) % top.size()];
        for (int k = 0; k < 4; k++) {
            float t0 = float(k) / 4, t1 = float(k + 1) / 4;
            float z = k % 2 == 0 ? roofHeight : 0;
            parapet.push_back({a.x + (b.x - a.x) * t0, a.y + (b.y - a.y) * t0, a.z + z});
            parapet.push_back({a.x + (b.x - a.x) * t1, a.y + (b.y - a.y) * t1, a.z + z});
        }
    }
    AddPolyline(w, parapet, true);
    AddFace(w, parapet);
}

Wireframe DemoLevel(bool *facesMatch) {
    Wireframe w;
    // Great hall with an arcade across it and a corner turret.
    AddBox(w, {0, 0, 0}, {1024, 768, 320});
    AddArcade(w, {32, 512, 0}, ALONG_X, 4, 160, 64, 128, 32, 256, false);
    AddTower(w, {0, 0, 0}, 8, 128, 576, BATTLEMENTS, 48);
    // East corridor, pointed doorways at both ends, into the east room.
    AddBox(w, {1024, 320, 0}, {1408, 448, 160});
    AddArch(w, {1024, 384, 0}, ALONG_Y, 96, 64, 32, true);
    AddArch(w, {1408, 384, 0}, ALONG_Y, 96, 64, 32, true);
    AddBox(w, {1408, 128, 0}, {1920, 640, 256});
    // North from the hall: a round doorway, a flight climbing +Y, an upper room.
    AddArch(w, {512, 768, 0}, ALONG_X, 256, 96, 32, false);
    AddStairs(w, {384, 768, 0}, ALONG_Y, 16, 32, 24, 256);
    AddBox(w, {256, 1280, 384}, {896, 1792, 640});
    AddArch(w, {512, 1280, 384}, ALONG_X, 192, 96, 32, false);
    // From the east room north along a corridor to the tall spired tower.
    AddBox(w, {1600, 640, 0}, {1728, 944, 160});
    AddArch(w, {1664, 640, 0}, ALONG_X, 80, 72, 32, true);
    AddTower(w, {1664, 1152, 0}, 8, 224, 1536, SPIRE, 512);
    bool match = EdgesFromFaces(w);
    if (facesMatch) *facesMatch = match;
    return w;
}

Wireframe TowerLevel() {
    Wireframe w;
    AddTower(w, {0, 0, 0}, 8, 256, 1024, BATTLEMENTS, 64);
    // Curtain walls 64 thick on a 2048 square, a round tower at each corner.
    AddBox(w, {-1024, -1056, 0}, {1024, -992, 512});
    AddBox(w, {-1024, 992, 0}, {1024, 1056, 512});
    AddBox(w, {-1056, -1024, 0}, {-992, 1024, 512});
    AddBox(w, {992, -1024, 0}, {1056, 1024, 512});
    for (float x : {-1024.0f, 1024.0f})
        for (float y : {-1024.0f, 1024.0f}) AddTower(w, {x, y, 0}, 16, 160, 768, SPIRE, 320);
    AddArch(w, {0, -1024, 0}, ALONG_X, 192, 192, 64, true);  // the gate
    AddArch(w, {0, -256 * std::cos(PI / 8), 0}, ALONG_X, 96, 128, 32, false);  // keep door
    AddStairs(w, {-800, 896, 0}, ALONG_X, 16, 32, 32, 96);   // up to the wall walk
    return w;
}

Wireframe HallsLevel() {
    Wireframe w;
    AddBox(w, {0, -256, 0}, {2560, 256, 768});     // nave
    AddBox(w, {0, -640, 0}, {2560, -256, 384});    // aisles
    AddBox(w, {0, 256, 0}, {2560, 640, 384});
    for (float y : {-256.0f, 256.0f}) {
        AddArcade(w, {16, y, 0}, ALONG_X, 8, 208, 96, 192, 32, 384, true);
        AddArcade(w, {2, y, 448}, ALONG_X, 16, 96, 60, 128, 32, 256, false);  // clerestory
    }
    AddArch(w, {0, 0, 0}, ALONG_Y, 160, 160, 32, true);        // west door
    AddArch(w, {2560, 0, 96}, ALONG_Y, 256, 320, 32, true);    // east window
    AddStairs(w, {2048, -192, 0}, ALONG_X, 6, 32, 16, 384);    // up to the raised east end
    AddBox(w, {2240, -192, 0}, {2560, 192, 96});
    return w;
}

// One block of the town, its south-west corner at (ox, oy): a hall with an
// arcade down its middle and doorways at both ends, a tower at one corner,
// a flight of stairs up to a loft. `kind` varies the pieces, so neighbouring
// blocks differ.
static void AddTownBlock(Wireframe &w, float ox, float oy, int kind) {
    bool pointed = kind % 2 == 1;
    float hallHeight = 256 + 64 * float(kind % 3);
    AddBox(w, {ox, oy, 0}, {ox + 1536, oy + 768, hallHeight});
    AddArcade(w, {ox + 32, oy + 384, 0}, ALONG_X, 6, 176, 64, 112, 32, hallHeight - 32, pointed);
    AddArch(w, {ox, oy + 384, 0}, ALONG_Y, 128, 96, 32, !pointed);
    AddArch(w, {ox + 1536, oy + 384, 0}, ALONG_Y, 128, 96, 32, !pointed);
    int sides = kind % 2 == 0 ? 16 : 8;
    Roof roof = kind % 3 == 0 ? BATTLEMENTS : SPIRE;
    AddTower(w, {ox + 1792, oy + 1792, 0}, sides, 192, 768 + 256 * float(kind % 4), roof,
             roof == SPIRE ? 384 : 48);
    AddStairs(w, {ox + 256, oy + 768, 0}, ALONG_Y, 12, 32, 24, 192);
    AddBox(w, {ox + 128, oy + 1152, 288}, {ox + 1152, oy + 1664, 512});
    AddArch(w, {ox + 352, oy + 1152, 288}, ALONG_X, 160, 96, 32, pointed);
}

Wireframe TownLevel() {
    Wireframe w;
    for (int by = 0; by < 6; by++)
        for (int bx = 0; bx < 6; bx++)
            AddTownBlock(w, float(bx) * 2304, float(by) * 2304, (bx * 7 + by * 3) % 12);
    return w;
}

SurfaceLevel SurfaceTownLevel() {
    SurfaceLevel level = FaceSurfaces(TownLevel());
    const int VAULT_ACROSS = 9, VAULT_ALONG = 33, GROUND = 16, LIGHT_MAPS = 32, LIGHT_MAP_BYTES = 128 * 128 * 3;
    for (int by = 0; by < 6; by++)
        for (int bx = 0; bx < 6; bx++) {
            float ox = float(bx) * 2304, oy = float(by) * 2304;
            // The vault's control points: a row across the hall for every
            // step along it, every other point lifted to shape the curve.
            std::vector<Vertex> vault;
            for (int along = 0; along < VAULT_ALONG; along++)
                for (int across = 0; across < VAULT_ACROSS; across++) {
                    float t = float(across) / (VAULT_ACROSS - 1);
                    float rise = across % 2 ? 256.0f : 192.0f * std::sin(PI * t);
                    vault.push_back({ox + 48 * float(along), oy + 768 * t, 320 + rise});
                }
            AddPatch(&level, VAULT_ACROSS, VAULT_ALONG, vault);
            // The ground: a square of points rising gently towards the
            // tower, two triangles to a cell.
            std::vector<Vertex> ground;
            std::vector<int32_t> triangles;
            for (int j = 0; j < GROUND; j++)
                for (int i = 0; i < GROUND; i++)
                    ground.push_back({ox - 64 + 144 * float(i), oy - 64 + 144 * float(j), float((i * j) % 7) * 4});
            for (int j = 0; j + 1 < GROUND; j++)
                for (int i = 0; i + 1 < GROUND; i++) {
                    int32_t a = j * GROUND + i, b = a + 1, c = a + GROUND, d = c + 1;
                    triangles.insert(triangles.end(), {a, b, d, a, d, c});
                }
            AddSoup(&level, ground, triangles);
        }
    for (int i = 0; i < LIGHT_MAPS * LIGHT_MAP_BYTES; i++) level.lightMaps.push_back(uint8_t(96 + i % 61));
    return level;
}

// splitmix64: the same numbers on every host and library.
static uint64_t NextRandom(uint64_t *state) {
    uint64_t z = (*state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

static int32_t RandomIn(uint64_t *state, int32_t lo, int32_t hi) {
    return lo + int32_t(NextRandom(state) % uint64_t(hi - lo + 1));
}

void GridLevel(int32_t vertexCount, int32_t edgeCount, std::vector<Vertex> *vertices,
               std::vector<Edge> *edges) {
    const int32_t CELL = 256;
    int32_t boxes = vertexCount / 8;
    int32_t gridW = 1;
    while (gridW * gridW < boxes * 2) gridW *= 2;
    int32_t gridH = boxes / gridW;
    uint64_t seed = 0x4B4F5256ull + uint64_t(vertexCount);
    vertices->clear();
    edges->clear();
    for (int32_t cy = 0; cy < gridH; cy++) {
        for (int32_t cx = 0; cx < gridW; cx++) {
            int32_t w = RandomIn(&seed, 96, 224), d = RandomIn(&seed, 96, 224);
            float x0 = float((cx - gridW / 2) * CELL + RandomIn(&seed, 0, CELL - w));
            float y0 = float((cy - gridH / 2) * CELL + RandomIn(&seed, 0, CELL - d));
            // Floors rise and fall across the map in steps of 32 units.
            int32_t hill = std::abs(cx % 32 - 16) + std::abs(cy % 32 - 16);
            float z0 = float(32 * (hill + RandomIn(&seed, 0, 3)));
            float h = float(RandomIn(&seed, 96, 256));
            for (int corner = 0; corner < 8; corner++)
                vertices->push_back({x0 + (corner & 1 ? float(w) : 0.0f),
                                     y0 + (corner & 2 ? float(d) : 0.0f),
                                     z0 + (corner & 4 ? h : 0.0f)});
            uint16_t base = uint16_t((cy * gridW + cx) * 8);
            for (int corner = 0; corner < 8; corner++)
                for (int bit = 1; bit < 8; bit <<= 1)
                    if (!(corner & bit))
                        edges->push_back({uint16_t(base + corner), uint16_t(base + (corner | bit))});
        }
    }
    // The remaining edges go box by box, as a level stores its faces: each
    // joins a corner of the box to one of a box nearby, mostly the next box
    // or two over, now and then a longer run across.
    int32_t extra = edgeCount - int32_t(edges->size());
    for (int32_t k = 0; k < extra; k++) {
        int32_t box = int32_t(int64_t(k) * boxes / extra);
        int32_t cx = box % gridW, cy = box / gridW;
        int32_t reach = NextRandom(&seed) % 8 == 0 ? 8 : 2;
        int32_t nx = std::clamp(cx + RandomIn(&seed, -reach, reach), 0, gridW - 1);
        int32_t ny = std::clamp(cy + RandomIn(&seed, -reach, reach), 0, gridH - 1);
        edges->push_back({uint16_t((cy * gridW + cx) * 8 + RandomIn(&seed, 0, 7)),
                          uint16_t((ny * gridW + nx) * 8 + RandomIn(&seed, 0, 7))});
    }
}
