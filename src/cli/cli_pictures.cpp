// cli_pictures.cpp - see cli_pictures.h.
#include "cli/cli_pictures.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <cerrno>
#include <cstdlib>
#include <strings.h>

#include "cli/cli_backend.h"
#include "cli/cli_png.h"
#include "raster/raster.h"
#include "res/resource.h"
#include "view/views.h"

PictureFormat PictureFormatByName(const char *name) {
    static const char *const NAMES[] = {"png", "svg", "pdf"};
    for (int i = 0; i < 3; i++)
        if (strcasecmp(name, NAMES[i]) == 0) return PictureFormat(i);
    return PICTURE_UNKNOWN;
}

// cairo's stream writers hand their bytes here.
static cairo_status_t WriteToOutput(void *closure, const unsigned char *data, unsigned int length) {
    return OutputWrite(static_cast<OutputFile *>(closure), data, length) ? CAIRO_STATUS_SUCCESS
                                                                          : CAIRO_STATUS_WRITE_ERROR;
}

// The view drawn into a canvas of width x height, then written 1-bit or
// reduced. The canvas comes from calloc, white already: pages no line
// touches are never written, and reading them back costs next to nothing.
static_assert(RASTER_WHITE == 0, "a zeroed canvas is white");
static int WriteRaster(int viewMode, const ViewRect *shown, int32_t width, int32_t height, int reduced,
                       OutputFile *out) {
    uint8_t *pixels = static_cast<uint8_t *>(std::calloc(size_t(width) * size_t(height), 1));
    if (!pixels) {
        out->error = ENOMEM;
        return 0;
    }
    int32_t savedRight = cliState.clientRight, savedBottom = cliState.clientBottom;
    cliState.clientRight = width;
    cliState.clientBottom = height;
    RasterCanvas canvas;
    RasterInit(&canvas, pixels, width, height);
    CliPaintCanvas(&canvas, viewMode, shown);
    cliState.clientRight = savedRight;
    cliState.clientBottom = savedBottom;
    int ok = reduced           ? WriteReducedCanvasPng(&canvas, out)
             : CliHasOverlays() ? WritePaletteCanvasPng(&canvas, out)
                                : WriteCanvasPng(&canvas, out);
    std::free(pixels);
    return ok;
}

static int WriteVector(int viewMode, const ViewRect *shown, OutputFile *out, int pdf) {
    int32_t w = cliState.clientRight, h = cliState.clientBottom;
    cairo_surface_t *surface = pdf ? cairo_pdf_surface_create_for_stream(WriteToOutput, out, w, h)
                                   : cairo_svg_surface_create_for_stream(WriteToOutput, out, w, h);
    cairo_t *cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1.0);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    // An SVG sized in pixels opens at the picture's size; in points (cairo's
    // default) a viewer scales it by 4/3.
    if (!pdf) cairo_svg_surface_set_document_unit(surface, CAIRO_SVG_UNIT_PX);
    PlatDC *dc = CliVectorDC(cr);
    DrawViewPart(CliWindow(), dc, viewMode, shown);
    CliFinishVector(dc);
    CliStrokeOverlays(cr, viewMode);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    cairo_status_t status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    return status == CAIRO_STATUS_SUCCESS;
}

int WritePicture(int viewMode, const ViewRect *shown, PictureFormat format, OutputFile *out) {
    if (format == PICTURE_PNG)
        return WriteRaster(viewMode, shown, cliState.clientRight, cliState.clientBottom, 0, out);
    return WriteVector(viewMode, shown, out, format == PICTURE_PDF);
}

void ThumbnailSize(int32_t side, int32_t *width, int32_t *height) {
    ViewFrame frame;
    BeginViewFrame(IDM_VIEW_3DZ, 0, 0, &frame);
    int64_t w = frame.windowWidth, h = frame.windowHeight;
    *width = *height = side;
    if (w <= 0 || h <= 0) return;
    int64_t longer = w > h ? w : h, shorter = w > h ? h : w;
    int64_t other = (2 * int64_t(side) * shorter + longer) / (2 * longer);
    if (other < 1) other = 1;
    if (w > h) *height = int32_t(other);
    else *width = int32_t(other);
}

int WriteThumbnail(int32_t side, int exact, OutputFile *out) {
    int32_t width, height;
    ThumbnailSize(side, &width, &height);
    if (exact) return WriteRaster(IDM_VIEW_3DZ, nullptr, width, height, 0, out);
    return WriteRaster(IDM_VIEW_3DZ, nullptr, width * PNG_REDUCTION, height * PNG_REDUCTION, 1, out);
}
