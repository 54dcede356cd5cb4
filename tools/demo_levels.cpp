// demo_levels.cpp - see demo_levels.h.
#include "tools/demo_levels.h"

#include <cmath>

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
    for (float z = 0; z < height; z += 256) {
        std::vector<Point> ring;
        for (Point c : corners) ring.push_back(raised(c, z));
        AddPolyline(w, ring, true);
    }
    std::vector<Point> top, parapet;
    for (Point c : corners) top.push_back(raised(c, height));
    AddPolyline(w, top, true);
    for (size_t i = 0; i < corners.size(); i++) AddLine(w, corners[i], top[i]);
    if (roof == SPIRE) {
        Point apex = {base.x, base.y, base.z + height + roofHeight};
        for (Point t : top) AddLine(w, t, apex);
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
}

Wireframe DemoLevel() {
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
