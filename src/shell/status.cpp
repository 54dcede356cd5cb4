// status.cpp - see status.h.
#include "shell/status.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "map/load_report.h"
#include "map/model.h"
#include "res/resource.h"
#include "shell/reload.h"
#include "shell/shell.h"
#include "shell/zoom_pan.h"
#include "view/views.h"
#include "view/zoom.h"

namespace {

// An orthographic view's axes and border.
struct FlatView {
    char across, up;
    float minAcross, maxUp;
    double border;
};

int FlatViewOf(int viewMode, FlatView *v) {
    const MapBoundsRecord &b = MapBounds;
    switch (viewMode) {
    case IDM_VIEW_XY: *v = FlatView{'X', 'Y', b.minX, b.maxY, double(XY_MARGIN)}; return 1;
    case IDM_VIEW_XZ: *v = FlatView{'X', 'Z', b.minX, b.maxZ, 0.0}; return 1;
    case IDM_VIEW_YZ: *v = FlatView{'Y', 'Z', b.minY, b.maxZ, 0.0}; return 1;
    default: return 0;
    }
}

// Halves up; + 0.0 makes a -0 plain 0.
double WholeUnits(double v) { return std::floor(v + 0.5) + 0.0; }

// A zoom factor: plain for small ones ("4", "8.12"), whole from 100 on.
std::string Factor(double f) {
    char text[32];
    std::snprintf(text, sizeof text, f >= 100 ? "%.0f" : "%.3g", f);
    return text;
}

double ZoomOf(int32_t full, int32_t shown) { return shown > 0 && full > 0 ? double(full) / shown : 1.0; }

}  // namespace

int LevelPointAtPixel(PlatWindow *window, int32_t px, int32_t py, double *across, double *up, char axes[3]) {
    FlatView v;
    if (!FlatViewOf(ViewMode, &v)) return 0;
    ShownView s = CurrentShownView(window);
    int64_t lx = LogicalAtPixel(s.rect.x, s.rect.width, px, s.clientWidth);
    int64_t ly = LogicalAtPixel(s.rect.y, s.rect.height, py, s.clientHeight);
    *across = WholeUnits(double(v.minAcross) + (double(lx) - v.border));
    *up = WholeUnits(double(v.maxUp) - (double(ly) - v.border));
    axes[0] = v.across;
    axes[1] = v.up;
    axes[2] = '\0';
    return 1;
}

void FormatStatusText(PlatWindow *window, int pointer, int32_t px, int32_t py, char *out, size_t capacity) {
    if (!capacity) return;
    if (LastLoadResult().status != LOAD_LOADED || !MapData.vertices) {
        std::snprintf(out, capacity, "no level loaded");
        return;
    }
    std::string text = LevelIsStale() ? "stale: the last reload failed    " : "";
    double across, up;
    char axes[3];
    if (pointer && LevelPointAtPixel(window, px, py, &across, &up, axes)) {
        char point[96];
        std::snprintf(point, sizeof point, "%c %.0f, %c %.0f    ", axes[0], across, axes[1], up);
        text += point;
    }
    char counts[64];
    std::snprintf(counts, sizeof counts, "%d vertices, %d edges    ", int(MapData.vertexCount),
                  int(MapData.edgeCount));
    text += counts;
    ShownView s = CurrentShownView(window);
    std::string h = Factor(ZoomOf(s.fullWidth, s.rect.width)), v = Factor(ZoomOf(s.fullHeight, s.rect.height));
    text += "zoom " + h + "\u00d7";
    if (v != h) text += ", " + v + "\u00d7";
    std::snprintf(out, capacity, "%s", text.c_str());
}
