// reload.h - the level designer's loop of the Linux program: the shown
// level read again from where it came from, and the overlays beside it.
//
// Host-free, like the rest of the shell, but only the Linux program (and
// the tests of its archive layer) links it: it reads archives again
// through that layer. The GTK program watches the files and shows the
// messages; the rules are here:
//
//   open      every open that shows a level (menu, FILE, drop) remembers
//             where it came from: the file, and for an archive the row
//             the map list took. A standalone level DIR/NAME.bsp brings its
//             leak trace DIR/NAME.pts (else DIR/NAME.lin), shown, and its
//             portals DIR/NAME.prt, hidden.
//   reload    the same open again, with the same row answered without a
//             list and no message box. The view and the zoomed part stay.
//             A reload that fails puts the last good level back, marks it
//             stale and says why in the messages; a later good one clears
//             them. The overlays are read again from where they came from:
//             one whose file is gone is no longer drawn.
//   overlays  File > Load Leak Trace ... and Load Portals ... read a file
//             from anywhere (shown at once; reloads read that file again);
//             View > Leak Trace and Portals show and hide them.
#ifndef KORVITAN_SHELL_RELOAD_H
#define KORVITAN_SHELL_RELOAD_H

#include <cstdint>
#include <string>
#include <vector>

#include "map/overlay.h"

struct PlatWindow;

// The Linux program's own commands, beyond the shared ones of
// res/resource.h (which the Windows program keeps to).
enum {
    IDM_RELOAD = 120,
    IDM_LOAD_LEAK = 121,
    IDM_LOAD_PORTALS = 122,
    IDM_SHOW_LEAK = 123,
    IDM_SHOW_PORTALS = 124,
    IDM_RELOAD_AUTOMATICALLY = 125,
    IDM_FIRST_LINUX_COMMAND = IDM_RELOAD,
    IDM_LAST_LINUX_COMMAND = IDM_RELOAD_AUTOMATICALLY,
};

// Sets the start-up marks of these commands: Reload Automatically on, the
// overlays off.
void OnDesignerCreate(PlatWindow *window);
// Handles one of the commands above; 0 for any other.
int OnDesignerCommand(PlatWindow *window, uint32_t command);

// To be called after every open, whatever its outcome: remembers the
// shown level's source (none when the open showed no level) and reads the
// overlays beside it.
void NoteOpenedLevel(PlatWindow *window);
// Reads the shown level and its overlays again (see above) and asks for a
// repaint. Returns 1 when the level was read again, 0 when there was none
// to read or the reload failed.
int ReloadLevel(PlatWindow *window);

// The file the shown level came from (a level file or an archive); null
// when no level is shown.
const char *ReloadSource(void);
// Every file whose change should reload: the source, and each overlay's
// file, or the files beside the level where one may appear.
std::vector<std::string> WatchedFiles(void);
int ReloadsAutomatically(void);
// The level on screen is the last good one: the last reload failed.
int LevelIsStale(void);
// What the last open, reload or overlay load found wrong, one message a
// line ("Error: Error Reading Edges", "Leak trace: line 3: ..."); empty
// when nothing was.
std::string DesignerMessages(void);
// Clears the messages (the user closed them).
void DismissDesignerMessages(void);

// The overlay to draw, or null when it is hidden or holds nothing.
const Overlay *ShownOverlay(OverlayKind kind);
// Counts every change of the overlays or of whether they are shown, as
// MapGeneration counts the model's.
extern uint32_t OverlayGeneration;

#endif
