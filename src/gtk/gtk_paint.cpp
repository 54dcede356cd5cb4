// gtk_paint.cpp - the device context of a paint, and the busy cursor.
//
// A paint draws the view into a RasterCanvas the size of the drawing area,
// cleared to white, and then hands the finished image to cairo unscaled and
// without antialiasing. The rasterizer is the one korvitan-cli renders with,
// so the window shows exactly the pixels `korvitan-cli render` writes for
// the same size.
//
// The busy cursor lives on the drawing area's GdkWindow. GTK's "no cursor of
// its own" is a null GdkCursor (inherit the parent's arrow), but the shell
// takes a null cursor to mean "nothing was saved", so the inherited arrow is
// represented by a PlatCursor of its own whose GdkCursor is null.
#include <vector>

#include "gtk/gtk_backend.h"
#include "cairo/canvas_image.h"
#include "platform/platform.h"
#include "raster/raster.h"

// ---- The device context -----------------------------------------------------------

struct PlatDC {
    RasterCanvas canvas;
};

static PlatDC paintDC;
static std::vector<uint8_t> paintPixels;
static cairo_surface_t *paintImage;  // kept between paints of the same size

PlatDC *PlatBeginPaint(PlatWindow *window) {
    int width, height;
    GtkClientPixels(window, &width, &height);
    paintPixels.resize(size_t(width) * size_t(height));
    RasterInit(&paintDC.canvas, paintPixels.data(), width, height);
    RasterClear(&paintDC.canvas);
    return &paintDC;
}

static cairo_surface_t *ImageOfSize(int width, int height) {
    if (paintImage && cairo_image_surface_get_width(paintImage) == width &&
        cairo_image_surface_get_height(paintImage) == height)
        return paintImage;
    if (paintImage) cairo_surface_destroy(paintImage);
    paintImage = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    return paintImage;
}

void PlatEndPaint(PlatWindow *window, PlatDC *dc) {
    int width = dc->canvas.width, height = dc->canvas.height;
    if (!window->cr || width <= 0 || height <= 0) return;
    cairo_surface_t *image = ImageOfSize(width, height);
    if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) return;

    CopyCanvasToImage(&dc->canvas, image);

    // The canvas is in device pixels; the device scale makes cairo put each
    // one on one pixel of the screen whatever the monitor's scale factor.
    int scale = gtk_widget_get_scale_factor(window->area);
    cairo_surface_set_device_scale(image, scale, scale);
    cairo_t *cr = window->cr;
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, image, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_paint(cr);
    cairo_restore(cr);
}

// The views' extents are stretched over the canvas by the rasterizer, which
// is what the anisotropic mapping mode does on Windows.
void PlatSetMapModeAnisotropic(PlatDC *) {}
void PlatSetViewportExt(PlatDC *dc, int32_t width, int32_t height) { RasterSetViewportExt(&dc->canvas, width, height); }
void PlatSetWindowExt(PlatDC *dc, int32_t width, int32_t height) { RasterSetWindowExt(&dc->canvas, width, height); }
void PlatSetWindowOrg(PlatDC *dc, int32_t x, int32_t y) { RasterSetWindowOrg(&dc->canvas, x, y); }
void PlatMoveTo(PlatDC *dc, int32_t x, int32_t y) { RasterMoveTo(&dc->canvas, x, y); }
void PlatLineTo(PlatDC *dc, int32_t x, int32_t y) { RasterLineTo(&dc->canvas, x, y); }

// ---- The busy cursor ----------------------------------------------------------------

struct PlatCursor {
    GdkCursor *cursor;  // null: the arrow the drawing area inherits
};

static PlatCursor arrowCursor = {nullptr};
static PlatCursor waitCursor = {nullptr};
static PlatCursor *currentCursor = &arrowCursor;

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
    currentCursor = cursor;
    GdkWindow *surface = window->area ? gtk_widget_get_window(window->area) : nullptr;
    if (surface) gdk_window_set_cursor(surface, cursor->cursor);
}

PlatCursor *PlatSetWaitCursor(PlatWindow *window) {
    PlatCursor *previous = currentCursor;
    if (!waitCursor.cursor && window->area)
        waitCursor.cursor = gdk_cursor_new_for_display(gtk_widget_get_display(window->area), GDK_WATCH);
    ShowCursorOn(window, &waitCursor);
    // The paint that follows keeps the loop busy; send the cursor to the
    // server now so a long paint shows it.
    if (window->area) gdk_display_flush(gtk_widget_get_display(window->area));
    return previous;
}

void PlatSetCursor(PlatWindow *window, PlatCursor *cursor) {
    if (cursor) ShowCursorOn(window, cursor);
}

// GTK keeps no show count: the pointer is always shown over the window.
void PlatShowCursor(int) {}
