// shell.h - what the program does with its window: commands, the current
// view with its check marks, the open-file choice, the paint cycle with its
// busy cursor, and the logic of the map list and About dialogs.
//
// Host-free: each backend's window and dialog procedures hand their
// messages to these handlers and do only what is particular to the host.
//
//   window created    -> OnCreate        menu command  -> OnCommand
//   window destroyed  -> OnDestroy       resized       -> OnSize
//   paint             -> OnPaint
//   map list dialog   -> MapSelectInit, MapSelectCommand
//   About dialog      -> AboutCommand
#ifndef KORVITAN_SHELL_H
#define KORVITAN_SHELL_H

#include <cstdint>

struct PlatWindow;
struct PlatDialog;

enum { DIALOG_OK = 1, DIALOG_CANCEL = 2 };

// The current view, one of the commands 105 to 110; 105 (X-Y) at start.
extern int16_t ViewMode;

// Sets the start-up check marks of the View menu: "X-Y" checked.
void OnCreate(PlatWindow *window);
// Releases the model and ends the program with exit code 0.
void OnDestroy(PlatWindow *window);
// A resize redraws the whole client area.
void OnSize(PlatWindow *window);
// The paint cycle: busy cursor, the current view's drawing, cursor back.
void OnPaint(PlatWindow *window);
// Handles a menu command, compared by its whole 32-bit value. Returns 1
// when handled; 0 when the host must pass it to its default processing
// (104, anything outside 100 to 110, any non-zero high half).
int OnCommand(PlatWindow *window, uint32_t command);

// The busy-cursor pair around a paint. A nested Begin while the wait cursor
// is up keeps the first saved cursor.
void BeginBusyCursor(PlatWindow *window);
void EndBusyCursor(PlatWindow *window);

// The filter text of an open command: description, zero byte, pattern, zero
// byte, closing zero byte. out must hold 80 bytes.
void FormatOpenFilter(int command, char *out);

// Map list dialog. Init fills the list with the archive's entries under
// "maps/" in directory order and empties selectedMapName. Command handles
// a control identifier (the low 16 bits of the command): OK takes the
// selected row, if any; OK and Cancel close the dialog with result 1.
// Returns 1 (TRUE) when handled, 0 otherwise.
void MapSelectInit(PlatDialog *dialog);
int MapSelectCommand(PlatDialog *dialog, int control);
// About dialog: OK or Cancel close it with result 1.
int AboutCommand(PlatDialog *dialog, int control);

#endif
