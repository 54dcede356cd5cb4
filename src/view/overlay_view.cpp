// overlay_view.cpp - see overlay_view.h.
#include "view/overlay_view.h"

#include "platform/platform.h"
#include "view/views.h"

void DrawOverlay(PlatWindow *window, PlatDC *dc, int viewMode, const Overlay *overlay) {
    int32_t right = 0, bottom = 0;
    PlatGetClientSize(window, &right, &bottom);
    ViewFrame frame;
    if (!BeginViewFrame(viewMode, right, bottom, &frame)) return;
    int32_t start = 0;
    for (int32_t k = 0; k < overlay->pathCount; k++) {
        int32_t end = overlay->pathEnds[k];
        if (end < start || end > overlay->pointCount) return;  // never so; a table is never trusted
        if (end - start >= 2) {
            ViewPoint first = ProjectPoint(&frame, &overlay->points[start]);
            ViewPoint from = first;
            for (int32_t i = start + 1; i < end; i++) {
                ViewPoint to = ProjectPoint(&frame, &overlay->points[i]);
                PlatMoveTo(dc, from.x, from.y);
                PlatLineTo(dc, to.x, to.y);
                from = to;
            }
            if (overlay->closed) {
                PlatMoveTo(dc, from.x, from.y);
                PlatLineTo(dc, first.x, first.y);
            }
        }
        start = end;
    }
}
