// cli_png.h - a raster canvas written as a PNG file, with libpng.
//
// A canvas of only white and black is written as a 1-bit grayscale PNG (1
// white, 0 black) packed straight from the canvas, eight pixels a byte: the
// same pixels as a full-colour file in a fraction of the bytes and the
// time. A canvas with overlays is a 2-bit palette PNG of white, black, red
// and blue, the canvas's values being the palette's indices, four pixels a
// byte. A white and black canvas drawn at four times a picture's size can
// also be written reduced: each 4 x 4 block of it becomes one pixel of an
// 8-bit grayscale PNG, as light as the share of its 16 pixels that are
// white (16 white: 255, none: 0, halves rounded up). The bytes go through
// the atomic output layer, so a failed write leaves the target as it was.
//
//   OutputFile out;
//   OutputBegin(&out, path);
//   int ok = WriteCanvasPng(&canvas, &out);   // 0: libpng or a write failed
//   ... OutputCommit(&out) when ok, as for any other picture
#ifndef KORVITAN_CLI_PNG_H
#define KORVITAN_CLI_PNG_H

#include "cli/cli_output.h"
#include "raster/raster.h"

// Writes the whole canvas (at least 1 x 1 pixels) as a PNG to out. Returns
// 1 on success; 0 when libpng failed or a write did (out->error then says
// why, if a write did).
int WriteCanvasPng(const RasterCanvas *canvas, OutputFile *out);
// The same as a palette PNG, for a canvas that may hold red and blue.
int WritePaletteCanvasPng(const RasterCanvas *canvas, OutputFile *out);

enum { PNG_REDUCTION = 4 };  // a reduced picture's canvas is this many times larger each way

// Writes a white and black canvas reduced by PNG_REDUCTION each way (its
// width and height multiples of it, at least 4) as an 8-bit grayscale PNG.
// Returns as WriteCanvasPng.
int WriteReducedCanvasPng(const RasterCanvas *canvas, OutputFile *out);

#endif
