// canvas_image.h - copies a raster canvas into a cairo image surface.
//
// The desktop window and korvitan-cli's PNG output both hand the
// rasterizer's pixels to cairo this way, so they show the same picture:
// black where a line is, white elsewhere, no scaling, no smoothing.
// Header-only, for the backends that use cairo.
#ifndef KORVITAN_CANVAS_IMAGE_H
#define KORVITAN_CANVAS_IMAGE_H

#include <cairo.h>
#include <cstddef>
#include <cstdint>

#include "raster/raster.h"

// image must be a CAIRO_FORMAT_RGB24 surface of the canvas's size.
inline void CopyCanvasToImage(const RasterCanvas *canvas, cairo_surface_t *image) {
    cairo_surface_flush(image);
    uint8_t *data = cairo_image_surface_get_data(image);
    int stride = cairo_image_surface_get_stride(image);
    for (int32_t y = 0; y < canvas->height; y++) {
        uint32_t *row = reinterpret_cast<uint32_t *>(data + size_t(y) * size_t(stride));
        const uint8_t *source = canvas->pixels + size_t(y) * size_t(canvas->width);
        for (int32_t x = 0; x < canvas->width; x++)
            row[x] = source[x] == RASTER_BLACK ? 0x000000u : 0xFFFFFFu;
    }
    cairo_surface_mark_dirty(image);
}

#endif
