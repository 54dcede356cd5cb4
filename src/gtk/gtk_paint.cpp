// gtk_paint.cpp - the device context of a paint, the kept picture, and the
// busy cursor.
//
// A paint gathers the view's segments, draws them into a RasterCanvas the
// size of the drawing area (on two threads for a large level), copies the
// canvas into an image and hands it to the X server, where it is kept as
// the finished picture. The rasterizer is the one korvitan-cli renders
// with, so the window shows exactly the pixels `korvitan-cli render`
// writes for the same size.
//
// An expose that finds the model, the view and the size as they were when
// the kept picture was drawn (PictureKey) is painted from the kept picture
// on the server, without drawing anything: a window moved over the program
// and away again costs a copy on the server.
//
// The busy cursor lives on the drawing area's GdkWindow. GTK's "no cursor of
// its own" is a null GdkCursor (inherit the parent's arrow), but the shell
// takes a null cursor to mean "nothing was saved", so the inherited arrow is
// represented by a PlatCursor of its own whose GdkCursor is null.
#include <vector>

#include "gtk/gtk_backend.h"
#include "cairo/canvas_image.h"
#include "map/model.h"
#include "platform/platform.h"
#include "raster/raster.h"
#include "shell/shell.h"

// ---- What the picture shows -------------------------------------------------------------

// Everything the picture in the drawing area depends on. A picture drawn
// under one key is the right picture for as long as the key stays the same,
// so every input of the drawing must be here (a zoom or a pan would add the
// visible rectangle).
struct PictureKey {
    uint32_t mapGeneration;  // the model: tables and bounds (MapGeneration)
    int viewMode;            // the view
    int width, height;       // the drawing area in device pixels
    int scale;               // device pixels per GTK unit
};

static PictureKey CurrentPictureKey(PlatWindow *window) {
    PictureKey key = {MapGeneration, ViewMode, 0, 0, 1};
    GtkClientPixels(window, &key.width, &key.height);
    if (window->area) key.scale = gtk_widget_get_scale_factor(window->area);
    return key;
}

static bool SamePicture(const PictureKey &a, const PictureKey &b) {
    return a.mapGeneration == b.mapGeneration && a.viewMode == b.viewMode && a.width == b.width &&
           a.height == b.height && a.scale == b.scale;
}

// ---- The kept picture ---------------------------------------------------------------------

// The finished picture on the X server, and what it shows. Null until a
// paint has finished, and again when one could not be kept.
static cairo_surface_t *keptPicture;
static PictureKey keptKey;

static void PaintFromKept(cairo_t *cr) {
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, keptPicture, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_paint(cr);
    cairo_restore(cr);
}

int GtkPaintKeptPicture(PlatWindow *window) {
    if (!keptPicture || !window->cr || !SamePicture(keptKey, CurrentPictureKey(window))) return 0;
    PaintFromKept(window->cr);
    return 1;
}

// A picture surface on the server for the drawing area's size; null when
// the area has no window or the server would not make one.
static cairo_surface_t *NewPictureSurface(PlatWindow *window) {
    GdkWindow *surface = window->area ? gtk_widget_get_window(window->area) : nullptr;
    if (!surface) return nullptr;
    cairo_surface_t *picture = gdk_window_create_similar_surface(
        surface, CAIRO_CONTENT_COLOR, gtk_widget_get_allocated_width(window->area),
        gtk_widget_get_allocated_height(window->area));
    if (cairo_surface_status(picture) == CAIRO_STATUS_SUCCESS) return picture;
    cairo_surface_destroy(picture);
    return nullptr;
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
static cairo_surface_t *paintImage;  // kept between paints of the same size

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

// The image the canvas is copied into, in the server's preferred kind
// (shared memory where the server offers it, so handing it over is one copy
// on the server's side).
static cairo_surface_t *ImageOfSize(PlatWindow *window, int width, int height, int scale) {
    if (paintImage && cairo_image_surface_get_width(paintImage) == width &&
        cairo_image_surface_get_height(paintImage) == height)
        return paintImage;
    if (paintImage) cairo_surface_destroy(paintImage);
    GdkWindow *surface = gtk_widget_get_window(window->area);
    paintImage = surface ? gdk_window_create_similar_image_surface(surface, CAIRO_FORMAT_RGB24, width,
                                                                    height, scale)
                         : nullptr;
    // The canvas is copied into its bytes, so it must be an image surface.
    if (!paintImage || cairo_surface_get_type(paintImage) != CAIRO_SURFACE_TYPE_IMAGE ||
        cairo_image_surface_get_format(paintImage) != CAIRO_FORMAT_RGB24) {
        if (paintImage) cairo_surface_destroy(paintImage);
        paintImage = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    }
    return paintImage;
}

// Hands the image to the server as the kept picture and paints from that;
// when no picture can be kept, paints the image itself.
static void KeepAndPaint(PlatWindow *window, cairo_surface_t *image, const PictureKey &key) {
    if (!keptPicture || !SamePicture(keptKey, key)) {
        // A new size (or scale) needs a new surface; anything else reuses it.
        bool sameSize = keptPicture && keptKey.width == key.width && keptKey.height == key.height &&
                        keptKey.scale == key.scale;
        if (!sameSize) {
            if (keptPicture) cairo_surface_destroy(keptPicture);
            keptPicture = NewPictureSurface(window);
        }
    }
    if (!keptPicture) {
        cairo_t *cr = window->cr;
        cairo_save(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(cr, image, 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
        cairo_paint(cr);
        cairo_restore(cr);
        return;
    }
    cairo_t *upload = cairo_create(keptPicture);
    cairo_set_operator(upload, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(upload, image, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(upload), CAIRO_FILTER_NEAREST);
    cairo_paint(upload);
    cairo_destroy(upload);
    keptKey = key;
    PaintFromKept(window->cr);
}

void PlatEndPaint(PlatWindow *window, PlatDC *dc) {
    RasterDrawSegments(&dc->canvas, paintSegments.data(), paintSegments.size());
    int width = dc->canvas.width, height = dc->canvas.height;
    if (!window->cr || width <= 0 || height <= 0) return;
    // The canvas is in device pixels; the device scale makes cairo put each
    // one on one pixel of the screen whatever the monitor's scale factor.
    int scale = dc->key.scale;
    cairo_surface_t *image = ImageOfSize(window, width, height, scale);
    if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) return;
    CopyCanvasToImage(&dc->canvas, image);
    cairo_surface_set_device_scale(image, scale, scale);
    KeepAndPaint(window, image, dc->key);
}

// The views' extents are stretched over the canvas by the rasterizer, which
// is what the anisotropic mapping mode does on Windows. The lines are
// gathered and drawn together when the paint ends.
void PlatSetMapModeAnisotropic(PlatDC *) {}
void PlatSetViewportExt(PlatDC *dc, int32_t width, int32_t height) { RasterSetViewportExt(&dc->canvas, width, height); }
void PlatSetWindowExt(PlatDC *dc, int32_t width, int32_t height) { RasterSetWindowExt(&dc->canvas, width, height); }
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
