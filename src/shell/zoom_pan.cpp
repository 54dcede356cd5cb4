// zoom_pan.cpp - see zoom_pan.h.
#include "shell/zoom_pan.h"

#include "platform/platform.h"
#include "shell/shell.h"
#include "view/views.h"

// The shown rectangle while zoomed; zoomed is 0 for the full view, which is
// then worked out afresh from the level and view at every step.
static ViewRect shown;
static int zoomed;
// The shown rectangle and the pointer when the drag began.
static ViewRect dragFrom;
static int32_t dragX, dragY;

// The current view's full extent and the client size.
struct Screen {
    int32_t fullWidth, fullHeight;
    int32_t clientWidth, clientHeight;
};

static Screen CurrentScreen(PlatWindow *window) {
    Screen s = {0, 0, 0, 0};
    PlatGetClientSize(window, &s.clientWidth, &s.clientHeight);
    ViewFrame frame;
    if (BeginViewFrame(ViewMode, s.clientWidth, s.clientHeight, &frame)) {
        s.fullWidth = frame.windowWidth;
        s.fullHeight = frame.windowHeight;
    }
    return s;
}

static ViewRect CurrentRect(const Screen &s) {
    if (!zoomed) return FullViewRect(s.fullWidth, s.fullHeight);
    return ClampViewRect(shown, s.fullWidth, s.fullHeight);
}

// Keeps the new rectangle and repaints if it differs from what is shown.
static void Show(PlatWindow *window, const Screen &s, ViewRect rect) {
    ViewRect before = CurrentRect(s);
    shown = rect;
    zoomed = !IsFullView(&rect, s.fullWidth, s.fullHeight);
    if (rect.x != before.x || rect.y != before.y || rect.width != before.width ||
        rect.height != before.height)
        PlatInvalidate(window);
}

const ViewRect *ShownViewRect(void) { return zoomed ? &shown : nullptr; }

void ShowFullView(void) { zoomed = 0; }

ShownView CurrentShownView(PlatWindow *window) {
    Screen s = CurrentScreen(window);
    return ShownView{s.fullWidth, s.fullHeight, s.clientWidth, s.clientHeight, CurrentRect(s)};
}

void OnWheel(PlatWindow *window, int32_t px, int32_t py, int notches) {
    Screen s = CurrentScreen(window);
    ViewRect rect = CurrentRect(s);
    for (; notches != 0; notches += notches > 0 ? -1 : 1) {
        int64_t x = LogicalAtPixel(rect.x, rect.width, px, s.clientWidth);
        int64_t y = LogicalAtPixel(rect.y, rect.height, py, s.clientHeight);
        rect = ZoomViewRect(rect, s.fullWidth, s.fullHeight, x, y, notches > 0);
    }
    Show(window, s, rect);
}

void OnDragStart(PlatWindow *window, int32_t px, int32_t py) {
    dragFrom = CurrentRect(CurrentScreen(window));
    dragX = px;
    dragY = py;
}

// The picture follows the pointer: the rectangle moves the other way.
void OnDragMove(PlatWindow *window, int32_t px, int32_t py) {
    Screen s = CurrentScreen(window);
    int64_t dx = LogicalDistance(dragFrom.width, int64_t(px) - dragX, s.clientWidth);
    int64_t dy = LogicalDistance(dragFrom.height, int64_t(py) - dragY, s.clientHeight);
    Show(window, s, PanViewRect(dragFrom, s.fullWidth, s.fullHeight, -dx, -dy));
}

// An eighth of an extent, and at least one unit.
static int64_t PanStep(int32_t extent) { return extent / 8 > 0 ? extent / 8 : 1; }

void OnZoomKey(PlatWindow *window, ZoomKey key) {
    Screen s = CurrentScreen(window);
    ViewRect r = CurrentRect(s);
    int64_t cx = r.x + int64_t(r.width) / 2, cy = r.y + int64_t(r.height) / 2;
    int32_t w = s.fullWidth, h = s.fullHeight;
    switch (key) {
    case ZOOM_KEY_IN: r = ZoomViewRect(r, w, h, cx, cy, 1); break;
    case ZOOM_KEY_OUT: r = ZoomViewRect(r, w, h, cx, cy, 0); break;
    case ZOOM_KEY_LEFT: r = PanViewRect(r, w, h, -PanStep(r.width), 0); break;
    case ZOOM_KEY_RIGHT: r = PanViewRect(r, w, h, PanStep(r.width), 0); break;
    case ZOOM_KEY_UP: r = PanViewRect(r, w, h, 0, -PanStep(r.height)); break;
    case ZOOM_KEY_DOWN: r = PanViewRect(r, w, h, 0, PanStep(r.height)); break;
    case ZOOM_KEY_FULL: r = FullViewRect(w, h); break;
    }
    Show(window, s, r);
}
