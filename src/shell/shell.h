// shell.h - what the program does with its window: commands, the current
// view with its check marks, the open-file choice and the paint cycle with
// its busy cursor.
//
// Host-free: each backend's window procedure hands its messages to these
// handlers and does only what is particular to the host.
//
//   window created    -> OnCreate        menu command  -> OnCommand
//   window destroyed  -> OnDestroy       resized       -> OnSize
//   paint             -> OnPaint
//   a path handed in  -> OpenFileByName
//
// The logic of the two dialogs is in shell/dialogs.h.
#ifndef KORVITAN_SHELL_H
#define KORVITAN_SHELL_H

#include <cstdint>

struct PlatWindow;

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
// Opens path as if the user had chosen it through the File menu: an
// archive, by the ending of its name in any letter case or by its first
// bytes (map/archive_kind.h), through "Open .PAK ..." (so the map list
// follows), any other file through "Open .BSP ...", with the same messages
// for a file that fails. For hosts that are handed a path (a command line,
// a drop) rather than asking for one.
void OpenFileByName(PlatWindow *window, const char *path);
// How the last chosen or handed-in file was read: IDM_OPENPAK (as an
// archive) or IDM_OPENBSP; 0 before any.
int LastOpenCommand(void);

#endif
