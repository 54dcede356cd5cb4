// platform.h - everything the program needs from its host, as plain functions.
//
// src/map, src/view and src/shell call only what this file declares. Each
// program links exactly one backend that defines these functions:
//
//   src/platform/win32/   the Windows program (USER32, GDI32, KERNEL32)
//   src/platform/gtk/     the Linux desktop program
//   src/platform/cli/     korvitan-cli: messages on stderr, pictures to files
//   tests/support/        a recording backend for the unit tests
//
// The file layer is separate from the backends because files are real
// everywhere: src/platform/posix/files.cpp serves every program but the
// Windows one, which has its own over CreateFileA and ReadFile.
//
// The handle types are opaque: each backend defines the structs behind them.
#ifndef KORVITAN_PLATFORM_H
#define KORVITAN_PLATFORM_H

#include <cstddef>
#include <cstdint>

struct PlatFile;    // an open file, read only
struct PlatWindow;  // the main window: owns message boxes, has a title
struct PlatDC;      // a drawing target for one paint

// ---- Files (the file layer) ----------------------------------------------

// Opens an existing file for reading, other readers allowed. Null on failure.
PlatFile *PlatOpenFile(const char *path);
// Reads up to n bytes at the current position; returns the bytes delivered
// (0 on failure).
uint32_t PlatReadFile(PlatFile *file, void *buffer, uint32_t n);
// Sets the position, counted from the start of the file. Returns 1 on
// success, 0 when the position cannot be reached (negative, say).
int PlatSeekFile(PlatFile *file, int64_t position);
// The file's size in bytes, or -1 when it cannot be told.
int64_t PlatFileSize(PlatFile *file);
void PlatCloseFile(PlatFile *file);

// ---- Memory ----------------------------------------------------------------

// A heap block of n bytes (n may be 0: the result is still a block), or null
// when none is available. The readers allocate every table through this, so
// a backend can count or refuse allocations.
void *PlatAlloc(size_t n);
// Frees a block from PlatAlloc; a null block is ignored.
void PlatFree(void *block);

// ---- The main window --------------------------------------------------------

// A modal message with one OK button, owned by the window; returns when the
// user has closed it.
void PlatMessageBox(PlatWindow *window, const char *text, const char *caption);
void PlatSetWindowTitle(PlatWindow *window, const char *title);
// Asks for a repaint of the whole client area with the background erased.
void PlatInvalidate(PlatWindow *window);
// Runs the map selection dialog modally over dirList/dirCount of MapData.
// When it returns, selectedMapName holds the chosen name, or empty text when
// no map was chosen.
void PlatRunMapSelectDialog(PlatWindow *window);
// The client rectangle's right and bottom (its left and top are 0).
void PlatGetClientSize(PlatWindow *window, int32_t *right, int32_t *bottom);

// ---- Drawing ---------------------------------------------------------------
// The logical window W x H is stretched over the viewport (the client area),
// independently in width and height, with both origins at (0, 0).

void PlatSetMapModeAnisotropic(PlatDC *dc);
void PlatSetViewportExt(PlatDC *dc, int32_t width, int32_t height);
void PlatSetWindowExt(PlatDC *dc, int32_t width, int32_t height);
void PlatMoveTo(PlatDC *dc, int32_t x, int32_t y);
// A 1-pixel line from the current point to (x, y), which becomes current.
void PlatLineTo(PlatDC *dc, int32_t x, int32_t y);

#endif
