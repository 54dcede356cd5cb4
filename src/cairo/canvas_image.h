// canvas_image.h - copies a raster canvas into a cairo image surface.
//
// The desktop window hands the rasterizer's pixels to cairo this way: black
// where a line is, white elsewhere, no scaling, no smoothing. Header-only,
// for the backends that use cairo.
#ifndef KORVITAN_CANVAS_IMAGE_H
#define KORVITAN_CANVAS_IMAGE_H

#include <cairo.h>
#include <cstddef>
#include <cstdint>

#include "raster/raster.h"

static_assert(RASTER_WHITE == 0 && RASTER_BLACK == 1, "the copy computes the colour from the value");

// Puts colour(value) of every canvas pixel into image, which must be a
// CAIRO_FORMAT_RGB24 surface at least the canvas's size, in its top-left
// corner. The bounds and pointers are held in locals: a store through a
// uint32_t pointer may change any int32_t as far as the compiler knows, so
// a loop bound read through the canvas would be read again for every
// pixel, and the loop would not be vectorized.
template <typename Colour>
inline void CopyCanvasPixels(const RasterCanvas *canvas, cairo_surface_t *image, Colour colour) {
    cairo_surface_flush(image);
    uint8_t *data = cairo_image_surface_get_data(image);
    const size_t stride = size_t(cairo_image_surface_get_stride(image));
    const int32_t width = canvas->width, height = canvas->height;
    const uint8_t *pixels = canvas->pixels;
    for (int32_t y = 0; y < height; y++) {
        uint32_t *row = reinterpret_cast<uint32_t *>(data + size_t(y) * stride);
        const uint8_t *source = pixels + size_t(y) * size_t(width);
        for (int32_t x = 0; x < width; x++) row[x] = colour(source[x]);
    }
    cairo_surface_mark_dirty(image);
}

// A canvas of white and black. The colour is computed, not chosen: white
// (0) - 1 is all ones, black (1) - 1 is zero, masked to 24 bits; no
// branch, so the compiler copies many pixels per instruction.
inline void CopyCanvasToImage(const RasterCanvas *canvas, cairo_surface_t *image) {
    CopyCanvasPixels(canvas, image, [](uint8_t value) { return (uint32_t(value) - 1u) & 0xFFFFFFu; });
}

// A canvas that may hold overlays' colours too: each value looked up in
// the palette white, black, red, blue.
inline void CopyPaletteCanvasToImage(const RasterCanvas *canvas, cairo_surface_t *image) {
    static const uint32_t PALETTE[4] = {0xFFFFFFu, 0x000000u, 0xFF0000u, 0x0000FFu};
    static_assert(RASTER_RED == 2 && RASTER_BLUE == 3, "the values index the palette");
    CopyCanvasPixels(canvas, image, [](uint8_t value) { return PALETTE[value & 3]; });
}

#endif
