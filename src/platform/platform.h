// platform.h - everything the program needs from its host, as plain functions.
//
// src/map, src/view and src/shell call only what this file declares. Each
// program links exactly one backend that defines these functions, in the
// program's own folder:
//
//   src/win32/        the Windows program (USER32, GDI32, COMDLG32)
//   src/gtk/          the Linux desktop program
//   src/cli/          korvitan-cli: messages on stderr, pictures to files
//   tests/support/    a recording backend for the unit tests
//
// Files and the heap are not part of a backend because they are the same
// for every program on a system (src/system/): files are real everywhere,
// posix_files.cpp serves every program but the Windows one, which has
// win32_files.cpp over CreateFileA and ReadFile. On POSIX a block in memory
// can stand for a file too (memory_files.h): an archive entry inflated for
// the level reader.
//
// The handle types are opaque to the core, and only what hands one out
// defines it: PlatFile the file layer (src/system/); the others a backend,
// as a struct where it needs one (the GTK backend for all four, the
// command-line and recording backends for the window, the paint target and
// the dialog). Where a system handle or a number serves, it is cast to the
// pointer type and no struct exists: the Windows backend's HWND, HDC and
// HCURSOR (src/win32/win32_backend.h), the recording backend's cursors.
#ifndef KORVITAN_PLATFORM_H
#define KORVITAN_PLATFORM_H

#include <cstddef>
#include <cstdint>

struct PlatFile;    // an open file, read only
struct PlatWindow;  // the main window: owns message boxes, has a title
struct PlatDC;      // a drawing target for one paint
struct PlatDialog;  // a modal dialog of the program's own, while it runs
struct PlatCursor;  // a mouse cursor

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
// Runs the map selection dialog modally over dirList/dirCount of MapData
// (or the rows the archive layer sets, shell/dialogs.h). When it returns,
// selectedMapName holds the chosen name, or empty text when no map was
// chosen.
void PlatRunMapSelectDialog(PlatWindow *window);
// The client rectangle's right and bottom (its left and top are 0).
void PlatGetClientSize(PlatWindow *window, int32_t *right, int32_t *bottom);

// ---- The shell: menus, cursor, dialogs, window life ---------------------------

// Sets or clears the check mark of the menu item with this command identifier.
void PlatCheckMenuItem(PlatWindow *window, int command, int checked);
// Destroys the main window; the host then calls OnDestroy.
void PlatDestroyWindow(PlatWindow *window);
// Ends the message loop once the current message is handled, with this
// exit code.
void PlatPostQuit(int exitCode);
// Runs the About box modally; returns when it has been closed.
void PlatRunAboutDialog(PlatWindow *window);

// What the open-file dialog is asked for.
struct OpenFileRequest {
    // Description/pattern pairs, each ended by a zero byte, and a closing
    // zero byte: "*.PAK files (*.PAK)\0*.PAK\0\0". A pattern may hold
    // several separated by ';' ("*.pak;*.zip"). The Windows program's
    // commands have one pair each.
    const char *filter;
    const char *title;  // "Select file to Open"
    // In: the name the dialog starts with (empty: none, start in the
    // current folder). Out: the full path of the confirmed file.
    char *file;
    size_t fileCapacity;  // bytes of file, terminator included
};
// Asks the user for an existing file. Returns 1 with the path in
// request->file, or 0 for cancel or any failure.
int PlatChooseOpenFile(PlatWindow *window, OpenFileRequest *request);

// The busy cursor. The cursor that was current before the wait cursor is
// kept as a property of the window while the wait cursor is up.
PlatCursor *PlatGetSavedCursor(PlatWindow *window);
void PlatSaveCursor(PlatWindow *window, PlatCursor *cursor);
// Removes the saved cursor from the window and returns it (null if none).
PlatCursor *PlatTakeSavedCursor(PlatWindow *window);
// Makes the wait cursor current; returns the cursor it replaced, or null
// when there was none.
PlatCursor *PlatSetWaitCursor(PlatWindow *window);
void PlatSetCursor(PlatWindow *window, PlatCursor *cursor);
// Raises (show = 1) or lowers (show = 0) the cursor's show count.
void PlatShowCursor(int show);

// The paint device context of the window, valid until PlatEndPaint.
PlatDC *PlatBeginPaint(PlatWindow *window);
void PlatEndPaint(PlatWindow *window, PlatDC *dc);

// The map list of the map selection dialog (its list box).
void PlatListReset(PlatDialog *dialog);
void PlatListAppend(PlatDialog *dialog, const char *text);
// Index of the selected row, or -1 when no row is selected.
int PlatListSelection(PlatDialog *dialog);
// Copies row index's text, terminated, into out (capacity bytes).
void PlatListText(PlatDialog *dialog, int index, char *out, size_t capacity);
// Closes a dialog with a result.
void PlatEndDialog(PlatDialog *dialog, int result);

// ---- Drawing ---------------------------------------------------------------
// The logical window W x H is stretched over the viewport (the client area),
// independently in width and height, with both origins at (0, 0) unless the
// window origin is set.

void PlatSetMapModeAnisotropic(PlatDC *dc);
void PlatSetViewportExt(PlatDC *dc, int32_t width, int32_t height);
void PlatSetWindowExt(PlatDC *dc, int32_t width, int32_t height);
// The logical point shown at the client area's top-left corner. Only a
// zoomed view sets it; the full view leaves it at (0, 0).
void PlatSetWindowOrg(PlatDC *dc, int32_t x, int32_t y);
void PlatMoveTo(PlatDC *dc, int32_t x, int32_t y);
// A 1-pixel line from the current point to (x, y), which becomes current.
void PlatLineTo(PlatDC *dc, int32_t x, int32_t y);

#endif
