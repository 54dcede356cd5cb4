// cli_backend.cpp - see cli_backend.h.
#include "cli/cli_backend.h"

#include <cairo.h>
#include <cerrno>
#include <cstring>

#include "map/model.h"
#include "platform/platform.h"
#include "shell/dialogs.h"
#include "view/overlay_view.h"
#include "view/views.h"

struct PlatWindow {
    int unused;
};

enum CliDrawKind { CLI_DRAW_GEOMETRY, CLI_DRAW_RASTER, CLI_DRAW_VECTOR };

struct PlatDC {
    CliDrawKind kind;
    FILE *out;
    RasterCanvas *canvas;
    cairo_t *cr;
    int32_t windowW, windowH, viewportW, viewportH;
    int32_t originX, originY;  // the window origin
    int32_t currentX, currentY;
    // Geometry lines are formatted by hand into this buffer: a level can
    // have a million edges and printf per number would dominate.
    char buffer[1 << 16];
    size_t used;
    int failed;  // the errno of the first failed write, or 0
    int linesInPath;  // vector: lines in the path not yet stroked
};

CliState cliState;
static PlatWindow theWindow;
static PlatDC theDC;
// The segments of a raster paint, drawn together once the paint is done.
static std::vector<RasterSegment> rasterSegments;

PlatWindow *CliWindow(void) { return &theWindow; }

static PlatDC *ResetDC(CliDrawKind kind) {
    theDC.kind = kind;
    theDC.out = nullptr;
    theDC.canvas = nullptr;
    theDC.cr = nullptr;
    theDC.windowW = theDC.windowH = theDC.viewportW = theDC.viewportH = 0;
    theDC.originX = theDC.originY = 0;
    theDC.currentX = theDC.currentY = 0;
    theDC.used = 0;
    theDC.failed = 0;
    theDC.linesInPath = 0;
    return &theDC;
}

PlatDC *CliGeometryDC(FILE *out) {
    PlatDC *dc = ResetDC(CLI_DRAW_GEOMETRY);
    dc->out = out;
    return dc;
}

// The overlays in the order they are drawn, each over the ones before.
static const OverlayKind OVERLAY_ORDER[OVERLAY_KINDS] = {OVERLAY_PORTALS, OVERLAY_LEAK};

static uint8_t InkOf(OverlayKind kind) { return kind == OVERLAY_LEAK ? RASTER_RED : RASTER_BLUE; }

// The gathered segments, with the threads the batch's workers ask for.
static void DrawRasterSegments(RasterCanvas *canvas) {
    if (cliState.rasterThreads)
        RasterDrawSegmentsThreads(canvas, rasterSegments.data(), rasterSegments.size(), cliState.rasterThreads);
    else
        RasterDrawSegments(canvas, rasterSegments.data(), rasterSegments.size());
}

void CliPaintCanvas(RasterCanvas *canvas, int viewMode, const ViewRect *shown) {
    PlatDC *dc = ResetDC(CLI_DRAW_RASTER);
    dc->canvas = canvas;
    rasterSegments.clear();
    DrawViewPart(CliWindow(), dc, viewMode, shown);
    DrawRasterSegments(canvas);
    for (OverlayKind kind : OVERLAY_ORDER) {
        if (!cliState.overlays[kind]) continue;
        rasterSegments.clear();
        DrawOverlay(CliWindow(), dc, viewMode, cliState.overlays[kind]);
        RasterSetInk(canvas, InkOf(kind));
        DrawRasterSegments(canvas);
    }
    RasterSetInk(canvas, RASTER_BLACK);
}

int CliHasOverlays(void) {
    for (const Overlay *overlay : cliState.overlays)
        if (overlay) return 1;
    return 0;
}

void CliStrokeOverlays(cairo_t *cr, int viewMode) {
    for (OverlayKind kind : OVERLAY_ORDER) {
        if (!cliState.overlays[kind]) continue;
        if (kind == OVERLAY_LEAK) cairo_set_source_rgb(cr, 1, 0, 0);
        else cairo_set_source_rgb(cr, 0, 0, 1);
        DrawOverlay(CliWindow(), &theDC, viewMode, cliState.overlays[kind]);
        CliFinishVector(&theDC);  // in this overlay's colour
    }
}

PlatDC *CliVectorDC(cairo_t *cr) {
    PlatDC *dc = ResetDC(CLI_DRAW_VECTOR);
    dc->cr = cr;
    return dc;
}

// Remembers the first failed write of a geometry stream.
static void NoteFailure(PlatDC *dc) {
    if (!dc->failed) dc->failed = errno ? errno : EIO;
}

int CliFlushGeometry(PlatDC *dc) {
    if (dc->used && std::fwrite(dc->buffer, 1, dc->used, dc->out) != dc->used) NoteFailure(dc);
    dc->used = 0;
    if (std::fflush(dc->out) != 0) NoteFailure(dc);
    return dc->failed;
}

// ---- Window ------------------------------------------------------------------

// "Can't open file:" already ends in a colon; every other caption gets one.
std::string CliMessageText(const char *text, const char *caption) {
    size_t n = std::strlen(caption);
    const char *colon = (n && caption[n - 1] == ':') ? "" : ":";
    return std::string(caption) + colon + " " + text;
}

void PlatMessageBox(PlatWindow *, const char *text, const char *caption) {
    if (cliState.quiet) return;
    std::string where = cliState.source;
    if (!cliState.chosenRow.empty()) where += ": " + cliState.chosenRow;
    std::fprintf(stderr, "korvitan-cli: %s: %s\n", where.c_str(), CliMessageText(text, caption).c_str());
}

void PlatSetWindowTitle(PlatWindow *, const char *) {}
void PlatInvalidate(PlatWindow *) {}

// ---- The map list, answered from the command line ------------------------------

struct PlatDialog {
    int selection;  // the row the answer picks, or -1
};

// The dialog logic fills the list (so the rows are exactly those a window
// would offer), the answer selects a row or none, and OK or Cancel ends it.
void PlatRunMapSelectDialog(PlatWindow *) {
    PlatDialog dialog = {-1};
    MapSelectInit(&dialog);
    const std::vector<std::string> &rows = cliState.offeredRows;
    for (size_t i = 0; i < rows.size() && dialog.selection < 0; i++) {
        if (cliState.mapAnswer == CLI_MAP_FIRST ||
            (cliState.mapAnswer == CLI_MAP_NAMED && rows[i] == cliState.mapName) ||
            (cliState.mapAnswer == CLI_MAP_INDEXED && i == cliState.mapIndex))
            dialog.selection = int(i);
    }
    if (dialog.selection >= 0) cliState.chosenRow = rows[size_t(dialog.selection)];
    MapSelectCommand(&dialog, dialog.selection >= 0 ? DIALOG_OK : DIALOG_CANCEL);
}

void PlatListReset(PlatDialog *) { cliState.offeredRows.clear(); }
void PlatListAppend(PlatDialog *, const char *text) { cliState.offeredRows.push_back(text); }
int PlatListSelection(PlatDialog *dialog) { return dialog->selection; }
void PlatListText(PlatDialog *, int index, char *out, size_t capacity) {
    std::snprintf(out, capacity, "%s", cliState.offeredRows[size_t(index)].c_str());
}
void PlatEndDialog(PlatDialog *, int) {}

void PlatGetClientSize(PlatWindow *, int32_t *right, int32_t *bottom) {
    *right = cliState.clientRight;
    *bottom = cliState.clientBottom;
}

// ---- Drawing -------------------------------------------------------------------

static void PutText(PlatDC *dc, const char *text, size_t n) {
    if (dc->used + n > sizeof dc->buffer) {
        if (std::fwrite(dc->buffer, 1, dc->used, dc->out) != dc->used) NoteFailure(dc);
        dc->used = 0;
    }
    std::memcpy(dc->buffer + dc->used, text, n);
    dc->used += n;
}

static char *FormatInt(char *end, int32_t value) {
    uint32_t magnitude = value < 0 ? 0u - uint32_t(value) : uint32_t(value);
    do {
        *--end = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0) *--end = '-';
    return end;
}

static void PrintSegment(PlatDC *dc, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    char line[64];
    char *end = line + sizeof line;
    char *p = end;
    *--p = '\n';
    p = FormatInt(p, y2);
    *--p = ' ';
    p = FormatInt(p, x2);
    *--p = ' ';
    p = FormatInt(p, y1);
    *--p = ' ';
    p = FormatInt(p, x1);
    PutText(dc, p, size_t(end - p));
}

// The centre of the device pixel a logical point maps to, as the raster
// would pick it, so the vector pictures line up with the PNG ones.
static double PixelCentre(int32_t v, int32_t origin, int32_t viewport, int32_t window) {
    return double(RasterMapCoordinate(int64_t(v) - origin, viewport, window)) + 0.5;
}

// Lines gather into paths of LINES_PER_STROKE, each stroked at once. A
// stroke per line made the SVG one element per line, and readers refuse a
// million (librsvg does); cairo also keeps every stroke of a vector picture
// until the end, so a million separate ones took more than a gigabyte.
// Long paths are no better: a renderer's time for one path grows faster
// than its lines (librsvg took 100 s for a million lines in paths of 1,000,
// 20 s in paths of 100), and in paths of 10,000 librsvg's XML reader gave
// up partway through the file. A path of opaque black lines on white shows
// the same as its lines one by one.
enum { LINES_PER_STROKE = 100 };

static void StrokeSegment(PlatDC *dc, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    if (!dc->windowW || !dc->windowH || !dc->viewportW || !dc->viewportH) return;
    cairo_move_to(dc->cr, PixelCentre(x1, dc->originX, dc->viewportW, dc->windowW),
                  PixelCentre(y1, dc->originY, dc->viewportH, dc->windowH));
    cairo_line_to(dc->cr, PixelCentre(x2, dc->originX, dc->viewportW, dc->windowW),
                  PixelCentre(y2, dc->originY, dc->viewportH, dc->windowH));
    if (++dc->linesInPath == LINES_PER_STROKE) CliFinishVector(dc);
}

void CliFinishVector(PlatDC *dc) {
    if (dc->linesInPath) cairo_stroke(dc->cr);
    dc->linesInPath = 0;
}

void PlatSetMapModeAnisotropic(PlatDC *) {}

void PlatSetViewportExt(PlatDC *dc, int32_t width, int32_t height) {
    dc->viewportW = width;
    dc->viewportH = height;
    if (dc->kind == CLI_DRAW_RASTER) RasterSetViewportExt(dc->canvas, width, height);
}

void PlatSetWindowExt(PlatDC *dc, int32_t width, int32_t height) {
    dc->windowW = width;
    dc->windowH = height;
    if (dc->kind == CLI_DRAW_RASTER) RasterSetWindowExt(dc->canvas, width, height);
}

void PlatSetWindowOrg(PlatDC *dc, int32_t x, int32_t y) {
    dc->originX = x;
    dc->originY = y;
    if (dc->kind == CLI_DRAW_RASTER) RasterSetWindowOrg(dc->canvas, x, y);
}

void PlatMoveTo(PlatDC *dc, int32_t x, int32_t y) {
    dc->currentX = x;
    dc->currentY = y;
}

void PlatLineTo(PlatDC *dc, int32_t x, int32_t y) {
    switch (dc->kind) {
    case CLI_DRAW_GEOMETRY: PrintSegment(dc, dc->currentX, dc->currentY, x, y); break;
    case CLI_DRAW_RASTER: rasterSegments.push_back({dc->currentX, dc->currentY, x, y}); break;
    case CLI_DRAW_VECTOR: StrokeSegment(dc, dc->currentX, dc->currentY, x, y); break;
    }
    dc->currentX = x;
    dc->currentY = y;
}
