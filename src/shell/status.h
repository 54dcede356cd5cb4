// status.h - the Linux program's status bar: where the pointer is in the
// level, how large the level is, how far the view is zoomed.
//
// Host-free; the GTK program hands it the pointer's device pixel.
//
// The level point under the pointer is the inverse of an orthographic
// view's own mapping, in whole units. The pointer at device pixel (px, py)
// of a client cw x ch showing the part (x, y, w, h) of the view is at the
// logical point (the one the wheel zooms about)
//     lx = x + round(px * w / cw),   ly = y + round(py * h / ch)
// and that is, with b the X-Y view's border of 10 (0 in the other two),
//     across = minA + (lx - b),      up = maxU - (ly - b)
// for the view's axes A (X, X, Y) and U (Y, Z, Z), each rounded to the
// nearest whole unit, halves up. The oblique views give no point: their
// logical plane mixes three axes.
#ifndef KORVITAN_SHELL_STATUS_H
#define KORVITAN_SHELL_STATUS_H

#include <cstddef>
#include <cstdint>

struct PlatWindow;

// The level point at device pixel (px, py) of the window's client area, in
// the view's two axes, named in axes ("XY", "XZ", "YZ"). Returns 0 in an
// oblique view.
int LevelPointAtPixel(PlatWindow *window, int32_t px, int32_t py, double *across, double *up,
                      char axes[3]);

// The status bar's text, for instance
//     "X 120, Y -64    1462 vertices, 2214 edges    zoom 4×"
// The point is there only while the pointer is over the drawing (pointer
// 1) in an orthographic view; the zoom is the view's full extent over the
// part shown, one figure when both axes agree, else across then up. A
// stale level (a reload failed) says so first; with no level the text is
// "no level loaded".
void FormatStatusText(PlatWindow *window, int pointer, int32_t px, int32_t py, char *out, size_t capacity);

#endif
