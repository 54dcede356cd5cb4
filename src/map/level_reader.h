// level_reader.h - reads one level (header, vertex table, edge table).
#ifndef KORVITAN_MAP_LEVEL_READER_H
#define KORVITAN_MAP_LEVEL_READER_H

#include <cstdint>

#include "map/records.h"

struct PlatWindow;

// Loads the standalone level file named by fileName into the model. Every
// failure is reported to the user in a message box owned by window. Returns
// 1 when a level was loaded, 0 otherwise; callers need not look: the reader
// reports and cleans up by itself (LastLoadResult() says what happened).
int32_t LoadBspFile(PlatWindow *window);

// Reads the level that starts at file position base of MapData.file, sets
// the title to "KORVITAN - displayName" and asks for a repaint. The model
// must hold an open file and no tables. On every return the file is closed.
int32_t ReadLevelAt(PlatWindow *window, int32_t base, const char *displayName);

// The version of the last level header read: its first four bytes in the
// original layout and the layouts that begin "BSP2" or "2PSB", the four
// after the identifying bytes in those that begin "IBSP", "QBSP", "VBSP"
// or "RBSP".
int32_t LastLevelVersion(void);
// The layout of the last level header read: "bsp" (the original), "bsp2",
// "2psb", "ibsp" (versions 38, 46 and 47), "qbsp", "vbsp" or "rbsp".
const char *LastLevelFormat(void);
// Whether the last level header read was one of a level that stores
// surfaces ("IBSP" 46 or 47, "RBSP"), whose edges the reader makes.
int LastLevelStoresSurfaces(void);

// Sets the window title to "KORVITAN - displayName", shortened (never
// overflowed) when the name is longer than any path the host can open.
void SetLevelTitle(PlatWindow *window, const char *displayName);

// Whether length bytes at position lie inside the open file. A length of 0
// always does, wherever it points.
int RegionInsideFile(int64_t position, uint32_t length);
// Seeks to position and reads exactly length bytes; 0 on any shortfall.
int ReadRegion(int64_t position, void *buffer, uint32_t length);
// Where a lump of the level at base begins: base + offset, the sum formed
// in 32 bits and taken as a signed position.
int64_t LumpPosition(int32_t base, const BspLump &lump);

#endif
