// zoom_pan.h - zooming and panning a view: the state, and what the wheel, a
// drag and the keys do to it.
//
// Host-free like the rest of the shell. The Linux program feeds it pointer
// and key events; the Windows program never does, so its views always
// show the full view. The arithmetic of each step is in view/zoom.h; here
// are the state and the events:
//
//   wheel notch up/down at pixel (px, py)  zoom in/out by 2 about the
//                                           logical point at that pixel
//   drag from (x0, y0) to (x, y)            the rectangle at the press,
//                                           panned so the picture follows
//                                           the pointer
//   keys  + =  /  -                         zoom in / out about the centre
//         arrows                            pan by an eighth of the extent
//         0 Home                            the full view
//
// Choosing a view and every load (or failed load) return to the full view;
// a resize keeps the shown rectangle.
#ifndef KORVITAN_SHELL_ZOOM_PAN_H
#define KORVITAN_SHELL_ZOOM_PAN_H

#include <cstdint>

#include "view/zoom.h"

struct PlatWindow;

enum ZoomKey {
    ZOOM_KEY_IN,
    ZOOM_KEY_OUT,
    ZOOM_KEY_LEFT,
    ZOOM_KEY_RIGHT,
    ZOOM_KEY_UP,
    ZOOM_KEY_DOWN,
    ZOOM_KEY_FULL,
};

// The part of the current view to draw, or null for the full view.
const ViewRect *ShownViewRect(void);
// Back to the full view (no repaint asked: the caller repaints anyway).
void ShowFullView(void);

// What the window shows now: the current view's full extent, the part of
// it shown (clamped to it) and the client size in device pixels.
struct ShownView {
    int32_t fullWidth, fullHeight;
    int32_t clientWidth, clientHeight;
    ViewRect rect;
};
ShownView CurrentShownView(PlatWindow *window);

// Each asks for a repaint when the shown rectangle changed. Positions are
// device pixels of the client area.
void OnWheel(PlatWindow *window, int32_t px, int32_t py, int notches);  // > 0: zoom in
void OnDragStart(PlatWindow *window, int32_t px, int32_t py);
void OnDragMove(PlatWindow *window, int32_t px, int32_t py);
void OnZoomKey(PlatWindow *window, ZoomKey key);

#endif
