// dialogs.cpp - the logic of the program's two dialogs: which archive
// entries the map list offers and what OK and Cancel mean, and the About
// box. The desktop programs' dialog procedures and korvitan-cli's answered
// map list all go through these, so the rows offered are the same everywhere.
#include "shell/dialogs.h"

#include <cstdio>
#include <cstring>

#include "map/archive_reader.h"
#include "map/model.h"
#include "platform/platform.h"

const char *const *MapListRows;
int32_t MapListRowCount;
int32_t selectedMapRow = -1;
const char *MapListAnswer;

void MapSelectInit(PlatDialog *dialog) {
    PlatListReset(dialog);
    selectedMapName[0] = '\0';
    selectedMapRow = -1;
    if (MapListRows) {
        for (int32_t i = 0; i < MapListRowCount; i++) PlatListAppend(dialog, MapListRows[i]);
        return;
    }
    for (int32_t i = 0; i < MapData.dirCount; i++) {
        const DirEntry *entry = &MapData.dirList[i];
        if (!IsListedMapEntry(entry)) continue;
        char row[SELECTED_MAP_NAME_SIZE];
        CopyDirEntryName(entry, row);
        PlatListAppend(dialog, row);
    }
}

// Takes row (counted among the rows shown) when its text is the answer.
static int TakeIfAnswer(int32_t row, const char *text) {
    if (std::strcmp(text, MapListAnswer) != 0) return 0;
    std::snprintf(selectedMapName, sizeof selectedMapName, "%s", text);
    selectedMapRow = row;
    return 1;
}

void AnswerMapList(void) {
    selectedMapName[0] = '\0';
    selectedMapRow = -1;
    if (!MapListAnswer) return;
    if (MapListRows) {
        for (int32_t i = 0; i < MapListRowCount; i++)
            if (TakeIfAnswer(i, MapListRows[i])) return;
        return;
    }
    int32_t row = 0;
    for (int32_t i = 0; i < MapData.dirCount; i++) {
        const DirEntry *entry = &MapData.dirList[i];
        if (!IsListedMapEntry(entry)) continue;
        char text[SELECTED_MAP_NAME_SIZE];
        CopyDirEntryName(entry, text);
        if (TakeIfAnswer(row++, text)) return;
    }
}

int MapSelectCommand(PlatDialog *dialog, int control) {
    switch (control) {
    case DIALOG_OK: {
        int row = PlatListSelection(dialog);
        if (row != -1) PlatListText(dialog, row, selectedMapName, sizeof selectedMapName);
        selectedMapRow = row;
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
