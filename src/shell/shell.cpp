// shell.cpp - commands, view change, open-file choice and the paint cycle.
#include "shell/shell.h"

#include <cstdio>
#include <cstring>

#include "map/archive_kind.h"
#include "map/level_reader.h"
#include "map/load_report.h"
#include "map/model.h"
#include "platform/platform.h"
#include "res/resource.h"
#include "shell/zoom_pan.h"
#include "view/views.h"

int16_t ViewMode = IDM_VIEW_XY;

void OnCreate(PlatWindow *window) {
    PlatCheckMenuItem(window, IDM_VIEW_XY, 1);
    PlatCheckMenuItem(window, IDM_VIEW_XZ, 0);
    PlatCheckMenuItem(window, IDM_VIEW_YZ, 0);
    PlatCheckMenuItem(window, IDM_VIEW_3DX, 0);
}

void OnDestroy(PlatWindow *) {
    FreeMapData();
    PlatPostQuit(0);
}

void OnSize(PlatWindow *window) { PlatInvalidate(window); }

// The busy-cursor pair around a paint. A nested Begin while the wait cursor
// is up keeps the first saved cursor.
static void BeginBusyCursor(PlatWindow *window) {
    if (PlatGetSavedCursor(window)) return;  // a wait cursor is already up
    PlatShowCursor(1);
    PlatCursor *previous = PlatSetWaitCursor(window);
    PlatSaveCursor(window, previous);
}

static void EndBusyCursor(PlatWindow *window) {
    PlatCursor *saved = PlatTakeSavedCursor(window);
    if (!saved) return;
    PlatSetCursor(window, saved);
    PlatShowCursor(0);
}

void OnPaint(PlatWindow *window) {
    BeginBusyCursor(window);
    PlatDC *dc = PlatBeginPaint(window);
    // Any other view mode draws nothing; the Windows program is never zoomed.
    DrawViewPart(window, dc, ViewMode, ShownViewRect());
    PlatEndPaint(window, dc);
    EndBusyCursor(window);
}

// The check mark follows the chosen view; choosing the current view again
// repeats everything, the repaint included.
static void ChangeView(PlatWindow *window, int view) {
    for (int id = IDM_VIEW_XY; id <= IDM_VIEW_3DZ; id++) PlatCheckMenuItem(window, id, id == view);
    ViewMode = int16_t(view);
    ShowFullView();
    PlatInvalidate(window);
}

enum { OPEN_FILTER_SIZE = 80 };

// The filter text of the level command: description, zero byte, pattern,
// zero byte, closing zero byte. The archive command's is the archive
// layer's, which knows what it reads.
static void FormatLevelFilter(char (&out)[OPEN_FILTER_SIZE]) {
    int n = std::snprintf(out, sizeof out, "*.BSP files (*.BSP)%c*.BSP%c", 0, 0);
    out[n] = '\0';  // the closing zero byte of the formatted text
}

// The path the user chose becomes fileName (which pre-fills the next
// choice) and is read by the command's loader, and the new level, or the
// empty view of a failed load, is shown whole. The model has been released
// already. A path longer than fileName holds is refused whole with the
// message of a file that cannot be opened, never cut short into another
// path; no host opens one that long anyway.
static int lastOpenCommand;

int LastOpenCommand(void) { return lastOpenCommand; }

static void LoadChosenFile(PlatWindow *window, int command, const char *path) {
    ShowFullView();
    lastOpenCommand = command;
    size_t length = std::strlen(path);
    if (length >= sizeof fileName) {
        ReportLoadFailure(window, path, "Can't open file:");
        return;
    }
    std::memcpy(fileName, path, length + 1);
    if (command == IDM_OPENPAK) LoadArchiveFile(window);
    else LoadBspFile(window);
}

// The model is released before the dialog is shown, whatever the user does
// next; a cancel changes nothing else.
static void ChooseAndLoad(PlatWindow *window, int command) {
    FreeMapData();
    char levelFilter[OPEN_FILTER_SIZE];
    FormatLevelFilter(levelFilter);
    const char *filter = command == IDM_OPENPAK ? ArchiveOpenFilter() : levelFilter;
    static char chosen[FILE_NAME_SIZE];
    std::memcpy(chosen, fileName, sizeof chosen);
    OpenFileRequest request = {filter, "Select file to Open", chosen, sizeof chosen};
    if (!PlatChooseOpenFile(window, &request)) return;
    LoadChosenFile(window, command, chosen);
}

// A file handed in is an archive by the ending of its name or by its first
// bytes, as a file manager tells the kinds apart.
void OpenFileByName(PlatWindow *window, const char *path) {
    FreeMapData();
    int archive = HasArchiveEnding(path) || ArchiveKindOfFile(path) != ARCHIVE_NONE;
    LoadChosenFile(window, archive ? IDM_OPENPAK : IDM_OPENBSP, path);
}

int OnCommand(PlatWindow *window, uint32_t command) {
    // One unsigned comparison: below the first command wraps around too.
    if (command - uint32_t(IDM_FIRST_COMMAND) > uint32_t(IDM_LAST_COMMAND - IDM_FIRST_COMMAND))
        return 0;
    switch (command) {
    case IDM_ABOUT: PlatRunAboutDialog(window); return 1;
    case IDM_OPENPAK:
    case IDM_OPENBSP: ChooseAndLoad(window, int(command)); return 1;
    case IDM_EXIT: PlatDestroyWindow(window); return 1;
    case IDC_MAPLIST: return 0;  // not a command
    default: ChangeView(window, int(command)); return 1;
    }
}
