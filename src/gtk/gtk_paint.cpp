// gtk_paint.cpp - the device context of a paint, the kept picture, and the
// busy cursor.
//
// A paint gathers the view's segments, draws them into a RasterCanvas the
// size of the drawing area (on two threads for a large level), copies the
// canvas into an image in the X server's shared memory and puts that onto
// the drawing area. The rasterizer is the one korvitan-cli renders with, so
// the window shows exactly the pixels `korvitan-cli render` writes for the
// same size.
//
// The overlays the designer's loop shows (src/shell/reload.h) follow the
// level's lines in the same canvas: the portals in blue, then the leak trace
// in red, each batch over the ones before.
//
// The image is kept as the finished picture: an expose that finds the
// model, the view, the part shown, the overlays and the size as they were
// when it was drawn (PictureKey) puts the image again without drawing
// anything, so a window moved over the program and away again costs one
// copy on the server, as a fresh frame's picture does.
//
// The busy cursor lives on the drawing area's GdkWindow, and only a paint
// long enough to be seen shows it: the shell asks for it at the start of
// every paint, but it goes to the X server only once the paint has run for
// BUSY_CURSOR_DELAY, checked while the lines are drawn. The frames of a
// drag never change the cursor. GTK's "no cursor of its own" is a null
// GdkCursor (inherit the parent's arrow), but the shell takes a null cursor
// to mean "nothing was saved", so the inherited arrow is represented by a
// PlatCursor of its own whose GdkCursor is null.
#include <algorithm>
#include <vector>

#include "gtk/gtk_backend.h"
#include "cairo/canvas_image.h"
#include "map/model.h"
#include "platform/platform.h"
#include "raster/raster.h"
#include "shell/reload.h"
#include "shell/shell.h"
#include "shell/zoom_pan.h"
#include "view/overlay_view.h"

// ---- What the picture shows -------------------------------------------------------------

// Everything the picture in the drawing area depends on. A picture drawn
// under one key is the right picture for as long as the key stays the same,
// so every input of the drawing must be here.
struct PictureKey {
    uint32_t mapGeneration;  // the model: tables and bounds (MapGeneration)
    uint32_t overlayGeneration;  // the overlays and whether they are shown
    int viewMode;            // the view
    int width, height;       // the drawing area in device pixels
    int scale;               // device pixels per GTK unit
    int zoomed;              // the part of the view shown, when zoomed
    ViewRect shown;
};

static PictureKey CurrentPictureKey(PlatWindow *window) {
    PictureKey key = {MapGeneration, OverlayGeneration, ViewMode, 0, 0, 1, 0, ViewRect{0, 0, 0, 0}};
    GtkClientPixels(window, &key.width, &key.height);
    if (window->area) key.scale = gtk_widget_get_scale_factor(window->area);
    if (const ViewRect *shown = ShownViewRect()) {
        key.zoomed = 1;
        key.shown = *shown;
    }
    return key;
}

static bool SamePicture(const PictureKey &a, const PictureKey &b) {
    return a.mapGeneration == b.mapGeneration && a.overlayGeneration == b.overlayGeneration &&
           a.viewMode == b.viewMode && a.width == b.width &&
           a.height == b.height && a.scale == b.scale && a.zoomed == b.zoomed &&
           a.shown.x == b.shown.x && a.shown.y == b.shown.y && a.shown.width == b.shown.width &&
           a.shown.height == b.shown.height;
}

// ---- The kept picture ---------------------------------------------------------------------

// The image a paint puts onto the drawing area; it only ever grows, so a
// resize by a pixel or two reuses it, and a paint uses its top-left
// corner, the size of the drawing area.
struct GrownImage {
    cairo_surface_t *surface;
    int width, height;  // device pixels
    int scale;
};

static GrownImage paintImage;
// What paintImage shows, when it holds a finished picture.
static bool kept;
static PictureKey keptKey;

// The top-left area of source, width x height GTK units, onto cr as it is.
static void PaintArea(cairo_t *cr, cairo_surface_t *source, int width, int height) {
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, source, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_rectangle(cr, 0, 0, width, height);
    cairo_fill(cr);
    cairo_restore(cr);
}

static void PaintPicture(PlatWindow *window, const PictureKey &key) {
    PaintArea(window->cr, paintImage.surface, key.width / key.scale, key.height / key.scale);
}

int GtkPaintKeptPicture(PlatWindow *window) {
    if (!kept || !window->cr) return 0;
    PictureKey key = CurrentPictureKey(window);
    if (!SamePicture(keptKey, key)) return 0;
    PaintPicture(window, key);
    return 1;
}

// The image the canvas is copied into, at least width x height device
// pixels, in the server's preferred kind (shared memory where the server
// offers it, so putting it is one copy on the server's side). False when
// none can be made.
static bool ImageHolds(PlatWindow *window, int width, int height, int scale) {
    if (paintImage.surface && paintImage.width >= width && paintImage.height >= height &&
        paintImage.scale == scale)
        return true;
    kept = false;
    width = std::max(width, paintImage.width);
    height = std::max(height, paintImage.height);
    if (paintImage.surface) cairo_surface_destroy(paintImage.surface);
    paintImage = GrownImage{nullptr, 0, 0, 0};
    GdkWindow *area = gtk_widget_get_window(window->area);
    cairo_surface_t *image =
        area ? gdk_window_create_similar_image_surface(area, CAIRO_FORMAT_RGB24, width, height, scale)
             : nullptr;
    // The canvas is copied into its bytes, so it must be an image surface.
    if (!image || cairo_surface_get_type(image) != CAIRO_SURFACE_TYPE_IMAGE ||
        cairo_image_surface_get_format(image) != CAIRO_FORMAT_RGB24) {
        if (image) cairo_surface_destroy(image);
        image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    }
    if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(image);
        return false;
    }
    // The canvas is in device pixels; the device scale makes cairo put each
    // one on one pixel of the screen whatever the monitor's scale factor.
    cairo_surface_set_device_scale(image, scale, scale);
    paintImage = GrownImage{image, width, height, scale};
    return true;
}

// ---- The device context -----------------------------------------------------------

struct PlatDC {
    RasterCanvas canvas;
    PictureKey key;  // what is being drawn
    int32_t currentX, currentY;
};

static PlatDC paintDC;
static std::vector<uint8_t> paintPixels;
static std::vector<RasterSegment> paintSegments;  // the paint's lines, drawn at its end

PlatDC *PlatBeginPaint(PlatWindow *window) {
    paintDC.key = CurrentPictureKey(window);
    int width = paintDC.key.width, height = paintDC.key.height;
    paintPixels.resize(size_t(width) * size_t(height));
    RasterInit(&paintDC.canvas, paintPixels.data(), width, height);
    RasterClear(&paintDC.canvas);
    paintSegments.clear();
    paintDC.currentX = paintDC.currentY = 0;
    return &paintDC;
}

static void ShowWaitCursorIfLong(void *window);

// The shown overlays over the level's lines, in the order they are drawn.
// Returns whether any was drawn, so the canvas holds colours.
static bool DrawOverlays(PlatWindow *window, PlatDC *dc) {
    static const OverlayKind ORDER[] = {OVERLAY_PORTALS, OVERLAY_LEAK};
    bool drawn = false;
    for (OverlayKind kind : ORDER) {
        const Overlay *overlay = ShownOverlay(kind);
        if (!overlay) continue;
        paintSegments.clear();
        DrawOverlay(window, dc, ViewMode, overlay);
        RasterSetInk(&dc->canvas, kind == OVERLAY_LEAK ? RASTER_RED : RASTER_BLUE);
        RasterDrawSegments(&dc->canvas, paintSegments.data(), paintSegments.size());
        drawn = true;
    }
    return drawn;
}

void PlatEndPaint(PlatWindow *window, PlatDC *dc) {
    ShowWaitCursorIfLong(window);
    RasterDrawSegmentsWatched(&dc->canvas, paintSegments.data(), paintSegments.size(), ShowWaitCursorIfLong,
                              window);
    bool coloured = DrawOverlays(window, dc);
    const PictureKey &key = dc->key;
    if (!window->cr || key.width <= 0 || key.height <= 0) return;
    if (!ImageHolds(window, key.width, key.height, key.scale)) return;
    kept = false;  // while the image changes
    if (coloured) CopyPaletteCanvasToImage(&dc->canvas, paintImage.surface);
    else CopyCanvasToImage(&dc->canvas, paintImage.surface);
    kept = true;
    keptKey = key;
    PaintPicture(window, key);
}

// The views' extents are stretched over the canvas by the rasterizer, which
// is what the anisotropic mapping mode does on Windows. The lines are
// gathered and drawn together when the paint ends.
void PlatSetMapModeAnisotropic(PlatDC *) {}
void PlatSetViewportExt(PlatDC *dc, int32_t width, int32_t height) { RasterSetViewportExt(&dc->canvas, width, height); }
void PlatSetWindowExt(PlatDC *dc, int32_t width, int32_t height) { RasterSetWindowExt(&dc->canvas, width, height); }
void PlatSetWindowOrg(PlatDC *dc, int32_t x, int32_t y) { RasterSetWindowOrg(&dc->canvas, x, y); }
void PlatMoveTo(PlatDC *dc, int32_t x, int32_t y) {
    dc->currentX = x;
    dc->currentY = y;
}
void PlatLineTo(PlatDC *dc, int32_t x, int32_t y) {
    paintSegments.push_back({dc->currentX, dc->currentY, x, y});
    dc->currentX = x;
    dc->currentY = y;
}

// ---- The busy cursor ----------------------------------------------------------------

struct PlatCursor {
    GdkCursor *cursor;  // null: the arrow the drawing area inherits
};

static PlatCursor arrowCursor = {nullptr};
static PlatCursor waitCursor = {nullptr};
// The cursor the program has made current, and the one the X server shows:
// they differ while a wait cursor waits for its paint to be long enough.
static PlatCursor *currentCursor = &arrowCursor;
static PlatCursor *shownCursor = &arrowCursor;
// When the pending wait cursor is to be shown, in g_get_monotonic_time's
// microseconds.
static gint64 waitShownFrom;

// A tenth of a second: a shorter wait flickers rather than informs.
enum { BUSY_CURSOR_DELAY_US = 100000 };

static const char SAVED_CURSOR_KEY[] = "hPrevCursor";

PlatCursor *PlatGetSavedCursor(PlatWindow *window) {
    if (!window->area) return nullptr;
    return static_cast<PlatCursor *>(g_object_get_data(G_OBJECT(window->area), SAVED_CURSOR_KEY));
}

void PlatSaveCursor(PlatWindow *window, PlatCursor *cursor) {
    if (window->area) g_object_set_data(G_OBJECT(window->area), SAVED_CURSOR_KEY, cursor);
}

PlatCursor *PlatTakeSavedCursor(PlatWindow *window) {
    PlatCursor *saved = PlatGetSavedCursor(window);
    PlatSaveCursor(window, nullptr);
    return saved;
}

static void ShowCursorOn(PlatWindow *window, PlatCursor *cursor) {
    shownCursor = cursor;
    GdkWindow *surface = window->area ? gtk_widget_get_window(window->area) : nullptr;
    if (surface) gdk_window_set_cursor(surface, cursor->cursor);
}

// The wait cursor becomes current at once and is shown once the paint has
// run for BUSY_CURSOR_DELAY_US (ShowWaitCursorIfLong); a paint that ends
// sooner never shows it.
PlatCursor *PlatSetWaitCursor(PlatWindow *) {
    PlatCursor *previous = currentCursor;
    currentCursor = &waitCursor;
    waitShownFrom = g_get_monotonic_time() + BUSY_CURSOR_DELAY_US;
    return previous;
}

// Called during a paint: shows the pending wait cursor once the paint is
// long enough. The paint keeps the loop busy, so the request is sent now.
static void ShowWaitCursorIfLong(void *data) {
    PlatWindow *window = static_cast<PlatWindow *>(data);
    if (currentCursor != &waitCursor || shownCursor == &waitCursor || !window->area) return;
    if (g_get_monotonic_time() < waitShownFrom) return;
    if (!waitCursor.cursor)
        waitCursor.cursor = gdk_cursor_new_for_display(gtk_widget_get_display(window->area), GDK_WATCH);
    ShowCursorOn(window, &waitCursor);
    gdk_display_flush(gtk_widget_get_display(window->area));
}

void PlatSetCursor(PlatWindow *window, PlatCursor *cursor) {
    if (!cursor) return;
    currentCursor = cursor;
    if (shownCursor != cursor) ShowCursorOn(window, cursor);
}

// GTK keeps no show count: the pointer is always shown over the window.
void PlatShowCursor(int) {}
