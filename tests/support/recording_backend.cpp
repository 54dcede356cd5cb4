// recording_backend.cpp - see recording_backend.h.
#include "support/recording_backend.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "map/archive_reader.h"
#include "map/model.h"
#include "platform/platform.h"

struct PlatWindow {
    int unused;
};
struct PlatDC {
    int unused;
};

Recording recording;
static PlatWindow theWindow;
static PlatDC theDC;

PlatWindow *RecordingWindow(void) { return &theWindow; }
PlatDC *RecordingDC(void) { return &theDC; }

void ResetRecording(void) {
    FreeMapData();
    MapData = MapModel{};
    MapBounds = MapBoundsRecord{};
    fileName[0] = '\0';
    selectedMapName[0] = '\0';
    recording.~Recording();
    new (&recording) Recording{};
    recording.chooseRow = -1;
    recording.clientRight = 800;
    recording.clientBottom = 600;
    recording.recordCalls = true;
}

// Each block carries its size in front so that frees can be counted.
void *PlatAlloc(size_t n) {
    recording.allocations++;
    recording.bytesAllocated += n;
    if (n > recording.largestRequest) recording.largestRequest = n;
    if (recording.allocations == recording.failAllocation) return nullptr;
    void *block = std::malloc(n ? n : 1);
    if (block) recording.liveBlocks++;
    return block;
}

void PlatFree(void *block) {
    if (!block) return;
    recording.liveBlocks--;
    std::free(block);
}

void PlatMessageBox(PlatWindow *, const char *text, const char *caption) {
    recording.messages.push_back({text, caption});
    recording.events.push_back(std::string("message ") + caption + "|" + text);
}

void PlatSetWindowTitle(PlatWindow *, const char *title) {
    recording.titles.push_back(title);
    recording.events.push_back(std::string("title ") + title);
}

void PlatInvalidate(PlatWindow *) {
    recording.repaints++;
    recording.events.push_back("repaint");
}

// Offers the listed entries as rows, then picks the scripted row or name.
void PlatRunMapSelectDialog(PlatWindow *) {
    recording.dialogRuns++;
    recording.events.push_back("dialog");
    selectedMapName[0] = '\0';
    recording.offeredRows.clear();
    for (int32_t i = 0; i < MapData.dirCount; i++) {
        if (!IsListedMapEntry(&MapData.dirList[i])) continue;
        char row[SELECTED_MAP_NAME_SIZE];
        CopyDirEntryName(&MapData.dirList[i], row);
        recording.offeredRows.push_back(row);
    }
    std::string chosen;
    if (recording.chooseRow >= 0) {
        if (size_t(recording.chooseRow) < recording.offeredRows.size())
            chosen = recording.offeredRows[recording.chooseRow];
    } else {
        for (const std::string &row : recording.offeredRows)
            if (row == recording.chooseName) chosen = row;
    }
    std::strncpy(selectedMapName, chosen.c_str(), SELECTED_MAP_NAME_SIZE - 1);
    selectedMapName[SELECTED_MAP_NAME_SIZE - 1] = '\0';
}

void PlatGetClientSize(PlatWindow *, int32_t *right, int32_t *bottom) {
    *right = recording.clientRight;
    *bottom = recording.clientBottom;
}

static void Record(const char *op, int32_t a, int32_t b) {
    if (recording.recordCalls) recording.calls.push_back({op, a, b});
}

void PlatSetMapModeAnisotropic(PlatDC *) { Record("mapmode", 8, 0); }
void PlatSetViewportExt(PlatDC *, int32_t w, int32_t h) { Record("viewport", w, h); }
void PlatSetWindowExt(PlatDC *, int32_t w, int32_t h) { Record("window", w, h); }
void PlatMoveTo(PlatDC *, int32_t x, int32_t y) { Record("move", x, y); }
void PlatLineTo(PlatDC *, int32_t x, int32_t y) { Record("line", x, y); }
