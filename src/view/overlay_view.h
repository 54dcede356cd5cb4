// overlay_view.h - an overlay's lines in a view.
//
// An overlay's points are projected by exactly the rules of the level's
// vertices (ProjectPoint), so they land where the level's own points
// would, zoomed and clipped with the level's picture. The programs that
// draw overlays paint the level first, then the portals, then the leak
// trace, each in its own ink (raster.h), so a later one wins where they
// cross.
#ifndef KORVITAN_VIEW_OVERLAY_VIEW_H
#define KORVITAN_VIEW_OVERLAY_VIEW_H

#include "map/overlay.h"

struct PlatWindow;
struct PlatDC;

// The overlay's lines on dc in viewMode at the window's client size: one
// MoveTo/LineTo pair per segment, each path's points joined in order (and
// its last back to its first when the overlay is closed). Sets no extent
// or origin: it draws into the frame the level's paint (DrawViewPart) set
// on dc. An unknown view mode draws nothing.
void DrawOverlay(PlatWindow *window, PlatDC *dc, int viewMode, const Overlay *overlay);

#endif
