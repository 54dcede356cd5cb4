// cli_backend.h - the platform backend of korvitan-cli.
//
// There is no window: message boxes go to stderr as
// "korvitan-cli: FILE: CAPTION: TEXT" ("FILE: ROW: ..." once a map of an
// archive has been chosen), or nowhere while quiet (batch workers read
// LastLoadResult instead); the map list is answered from the command line (through the same dialog
// logic the desktop programs run), and a paint draws either into a text
// stream of segments, into the rasterizer, or into a cairo context for
// vector output. For the rasterizer the segments of a paint are gathered
// and drawn as one batch, which the rasterizer splits between two threads
// when it is large.
#ifndef KORVITAN_CLI_BACKEND_H
#define KORVITAN_CLI_BACKEND_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "map/overlay.h"
#include "raster/raster.h"
#include "view/zoom.h"

struct PlatWindow;
struct PlatDC;
typedef struct _cairo cairo_t;

// How the map list is answered.
enum CliMapAnswer {
    CLI_MAP_CANCEL,  // choose nothing (the rows are still recorded)
    CLI_MAP_FIRST,   // choose the first offered row
    CLI_MAP_NAMED,   // choose the row equal to CliState.mapName
    CLI_MAP_INDEXED, // choose row CliState.mapIndex (counted from 0)
};

struct CliState {
    CliMapAnswer mapAnswer;
    const char *mapName;
    size_t mapIndex;
    int32_t clientRight, clientBottom;
    std::vector<std::string> offeredRows;  // what the map list offered last
    std::string source;     // FILE as given, which messages name
    std::string chosenRow;  // the row the map list took in this load, or empty
    bool quiet;             // messages are not printed
    int rasterThreads;      // 0: the rasterizer chooses by the count; else 1 or 2
    const Overlay *overlays[OVERLAY_KINDS];  // drawn over the level when set
};

// A message as korvitan-cli shows it: "CAPTION: TEXT", the caption's own
// colon kept ("Can't open file: ...").
std::string CliMessageText(const char *text, const char *caption);

extern CliState cliState;

PlatWindow *CliWindow(void);

// Drawing targets: one per kind of output.
PlatDC *CliGeometryDC(FILE *out);       // prints "x1 y1 x2 y2" per segment
PlatDC *CliVectorDC(cairo_t *cr);       // strokes 1-unit lines between pixel centres
// Strokes the vector lines not yet stroked; a paint into a CliVectorDC ends
// with it.
void CliFinishVector(PlatDC *dc);
// Draws the view's lines into a white canvas (RasterClear, or a block
// fresh from calloc: white is 0) whose size is the client size: exactly
// the pixels the desktop programs show. The overlays that are set follow,
// the portals in blue, then the leak trace in red, as the Linux program
// draws them.
void CliPaintCanvas(RasterCanvas *canvas, int viewMode, const ViewRect *shown);
// Whether an overlay is set: the picture then holds colours.
int CliHasOverlays(void);
// The overlays that are set, stroked onto a vector picture after the level
// in the same order and colours.
void CliStrokeOverlays(cairo_t *cr, int viewMode);
// Flushes a geometry stream; returns 0 when every write went through, else
// the errno of the first that failed.
int CliFlushGeometry(PlatDC *dc);

#endif
