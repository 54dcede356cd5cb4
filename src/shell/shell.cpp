// shell.cpp - commands, view change, open-file choice, paint cycle and the
// logic of the program's two dialogs.
#include "shell/shell.h"

#include <cstdio>
#include <cstring>

#include "map/archive_reader.h"
#include "map/level_reader.h"
#include "map/model.h"
#include "platform/platform.h"
#include "res/resource.h"
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

void BeginBusyCursor(PlatWindow *window) {
    if (PlatGetSavedCursor(window)) return;  // a wait cursor is already up
    PlatShowCursor(1);
    PlatCursor *previous = PlatSetWaitCursor(window);
    PlatSaveCursor(window, previous);
}

void EndBusyCursor(PlatWindow *window) {
    PlatCursor *saved = PlatTakeSavedCursor(window);
    if (!saved) return;
    PlatSetCursor(window, saved);
    PlatShowCursor(0);
}

void OnPaint(PlatWindow *window) {
    BeginBusyCursor(window);
    PlatDC *dc = PlatBeginPaint(window);
    DrawView(window, dc, ViewMode);  // any other view mode draws nothing
    PlatEndPaint(window, dc);
    EndBusyCursor(window);
}

// The check mark follows the chosen view; choosing the current view again
// repeats everything, the repaint included.
static void ChangeView(PlatWindow *window, int view) {
    for (int id = IDM_VIEW_XY; id <= IDM_VIEW_3DZ; id++) PlatCheckMenuItem(window, id, id == view);
    ViewMode = int16_t(view);
    PlatInvalidate(window);
}

void FormatOpenFilter(int command, char *out) {
    const char *kind = command == IDM_OPENPAK ? "PAK" : "BSP";
    int n = std::snprintf(out, 80, "*.%s files (*.%s)%c*.%s%c", kind, kind, 0, kind, 0);
    out[n] = '\0';  // the closing zero byte of the formatted text
}

// The model is released before the dialog is shown, whatever the user does
// next; a cancel changes nothing else.
static void ChooseAndLoad(PlatWindow *window, int command) {
    FreeMapData();
    char filter[80];
    FormatOpenFilter(command, filter);
    static char chosen[FILE_NAME_SIZE];
    std::memcpy(chosen, fileName, sizeof chosen);
    OpenFileRequest request = {filter, "Select file to Open", chosen, sizeof chosen};
    if (!PlatChooseOpenFile(window, &request)) return;
    std::snprintf(fileName, sizeof fileName, "%s", chosen);
    if (command == IDM_OPENPAK) LoadPakFile(window);
    else LoadBspFile(window);
}

int OnCommand(PlatWindow *window, uint32_t command) {
    if (command - 100u > 10u) return 0;
    switch (command) {
    case IDM_ABOUT: PlatRunAboutDialog(window); return 1;
    case IDM_OPENPAK:
    case IDM_OPENBSP: ChooseAndLoad(window, int(command)); return 1;
    case IDM_EXIT: PlatDestroyWindow(window); return 1;
    case IDC_MAPLIST: return 0;  // not a command
    default: ChangeView(window, int(command)); return 1;
    }
}

void MapSelectInit(PlatDialog *dialog) {
    PlatListReset(dialog);
    selectedMapName[0] = '\0';
    for (int32_t i = 0; i < MapData.dirCount; i++) {
        const DirEntry *entry = &MapData.dirList[i];
        if (!IsListedMapEntry(entry)) continue;
        char row[SELECTED_MAP_NAME_SIZE];
        CopyDirEntryName(entry, row);
        PlatListAppend(dialog, row);
    }
}

int MapSelectCommand(PlatDialog *dialog, int control) {
    switch (control) {
    case DIALOG_OK: {
        int row = PlatListSelection(dialog);
        if (row != -1) PlatListText(dialog, row, selectedMapName, sizeof selectedMapName);
        PlatEndDialog(dialog, 1);
        return 1;
    }
    case DIALOG_CANCEL: PlatEndDialog(dialog, 1); return 1;
    default: return 0;  // list notifications, double-clicks included
    }
}

int AboutCommand(PlatDialog *dialog, int control) {
    if (control != DIALOG_OK && control != DIALOG_CANCEL) return 0;
    PlatEndDialog(dialog, 1);
    return 1;
}
