// surface_level.h - levels that store surfaces instead of an edge table.
//
// The headers beginning "IBSP" with version 46 or 47 and "RBSP" with
// version 1 (records.h) describe levels without an edge table: draw
// vertices, an index table and surfaces. The level reader hands such a
// level here once its header is read; this reads the three tables and
// makes the edge table the views draw from the surfaces (the rule is
// written out at the top of surface_level.cpp).
#ifndef KORVITAN_MAP_SURFACE_LEVEL_H
#define KORVITAN_MAP_SURFACE_LEVEL_H

#include <cstdint>

#include "map/records.h"

struct PlatWindow;

// Where a level's three tables lie and how large its records are.
struct SurfaceTablesAt {
    BspLump drawVertices;
    BspLump indices;
    BspLump surfaces;
    uint32_t drawVertexSize;  // IBSP_DRAW_VERTEX_SIZE or RBSP_DRAW_VERTEX_SIZE
    uint32_t surfaceSize;     // IBSP_SURFACE_SIZE or RBSP_SURFACE_SIZE
    uint32_t patchSizeAt;     // IBSP_PATCH_SIZE_AT or RBSP_PATCH_SIZE_AT
};

// Reads the draw vertices' positions into the model's vertex table, then
// the index table and the surfaces, in that order, and makes the model's
// edge table (32-bit indices) from them. A table the file does not hold is
// "Error Reading Vertices" (draw vertices) or "Error Reading Edges" (the
// others), a refused allocation "Can't allocate memory for vertex." or
// "... for Edges."; each failure is reported and the model released before
// it returns 0. Each count is set only once its table is whole. Needs the
// model's open file and no tables; leaves the file open.
int ReadSurfaceLevel(PlatWindow *window, int32_t base, const SurfaceTablesAt &at);

#endif
