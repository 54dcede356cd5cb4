// cli_pictures.h - the pictures korvitan-cli makes of the loaded level, into
// an output opened by cli_output.h.
//
//   render      the view at the client size (cliState), exactly the pixels
//               the desktop programs draw, as a 1-bit PNG (a palette PNG
//               when overlays are set), or as SVG or PDF
//   thumbnail   the 3D (Z) view fitted into N x N (ThumbnailSize): drawn at
//               four times that size and reduced to an 8-bit gray PNG, so
//               that single lines turn gray and crowded parts dark; or, when
//               exact, the render at that size
#ifndef KORVITAN_CLI_PICTURES_H
#define KORVITAN_CLI_PICTURES_H

#include <cstdint>

#include "cli/cli_output.h"
#include "view/zoom.h"

enum PictureFormat { PICTURE_PNG, PICTURE_SVG, PICTURE_PDF, PICTURE_UNKNOWN };

// "png", "svg" or "pdf" in any case; PICTURE_UNKNOWN otherwise.
PictureFormat PictureFormatByName(const char *name);

// Writes the view at the client size (cliState.clientRight x clientBottom,
// each at least 1) to out; shown is the part of the view, or null for all
// of it. Returns 0 when the picture could not be made or written (out->error
// then says why, if a write failed).
int WritePicture(int viewMode, const ViewRect *shown, PictureFormat format, OutputFile *out);

// The size of a thumbnail whose longer side is side pixels: the 3D (Z)
// view's logical extent scaled, the shorter side rounded (halves up) and at
// least 1. A view with no extent one way gets a blank side x side square.
void ThumbnailSize(int32_t side, int32_t *width, int32_t *height);

// Writes the thumbnail of the loaded level with the longer side `side` (1
// to 4096) to out: reduced 8-bit gray, or exact. Returns as WritePicture.
int WriteThumbnail(int32_t side, int exact, OutputFile *out);

#endif
