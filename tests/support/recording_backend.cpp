// recording_backend.cpp - see recording_backend.h.
#include "support/recording_backend.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "map/model.h"
#include "platform/platform.h"
#include "res/resource.h"
#include "shell/dialogs.h"
#include "shell/shell.h"
#include "shell/zoom_pan.h"
#include "view/views.h"
#include "view/views.h"

struct PlatWindow {
    int unused;
};
struct PlatDC {
    int unused;
};
struct PlatDialog {
    std::vector<std::string> rows;
    int selection;
    int ended;
};

Recording recording;
static PlatWindow theWindow;
static PlatDC theDC;

PlatWindow *RecordingWindow(void) { return &theWindow; }
PlatDC *RecordingDC(void) { return &theDC; }

std::string SixViewsDrawn(void) {
    std::string text;
    for (int view = IDM_VIEW_XY; view <= IDM_VIEW_3DZ; view++) {
        recording.calls.clear();
        DrawView(RecordingWindow(), RecordingDC(), view);
        for (const RecordedCall &c : recording.calls)
            text += c.op + " " + std::to_string(c.a) + " " + std::to_string(c.b) + "\n";
    }
    return text;
}

std::set<std::string> SixViewsSegmentSet(void) {
    std::set<std::string> drawn;
    for (int view = IDM_VIEW_XY; view <= IDM_VIEW_3DZ; view++) {
        recording.calls.clear();
        DrawView(RecordingWindow(), RecordingDC(), view);
        std::string prefix = std::to_string(view) + " ", from;
        for (const RecordedCall &c : recording.calls) {
            std::string point = std::to_string(c.a) + " " + std::to_string(c.b);
            if (c.op == "move") from = point;
            else if (c.op == "line") drawn.insert(prefix + "line " + from + " " + point), from = point;
            else drawn.insert(prefix + c.op + " " + point);
        }
    }
    return drawn;
}

void ResetRecording(void) {
    FreeMapData();
    MapData = MapModel{};
    MapBounds = MapBoundsRecord{};
    fileName[0] = '\0';
    selectedMapName[0] = '\0';
    ViewMode = IDM_VIEW_XY;
    ShowFullView();
    recording.~Recording();
    new (&recording) Recording{};
    recording.chooseRow = -1;
    recording.dialogResult = -1;
    recording.quitCode = -1;
    recording.cursor = 1;  // the arrow
    recording.clientRight = 800;
    recording.clientBottom = 600;
    recording.recordCalls = true;
}

// ---- Memory: counted, and refused on request ------------------------------------

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

// ---- What the user sees -----------------------------------------------------------

static void Event(const std::string &text) { recording.events.push_back(text); }

// The paint of the modal loop behind a message box: the shell's drawing of
// the current view into the recording DC. Its calls are counted, not kept,
// so the recorded drawing is that of the program's own paints.
static int PaintBehindMessage(void) {
    size_t before = recording.calls.size();
    bool record = recording.recordCalls;
    recording.recordCalls = true;
    DrawViewPart(&theWindow, &theDC, ViewMode, ShownViewRect());
    int lines = 0;
    for (size_t i = before; i < recording.calls.size(); i++) lines += recording.calls[i].op == "line";
    recording.calls.resize(before);
    recording.recordCalls = record;
    return lines;
}

void PlatMessageBox(PlatWindow *, const char *text, const char *caption) {
    bool whole = MapTablesPresent();
    int lines = PaintBehindMessage();
    recording.messages.push_back({text, caption, MapData.file != nullptr, lines, whole});
    Event(std::string("message ") + caption + "|" + text);
}

void PlatSetWindowTitle(PlatWindow *, const char *title) {
    recording.titles.push_back(title);
    Event(std::string("title ") + title);
}

void PlatInvalidate(PlatWindow *) {
    recording.repaints++;
    Event("repaint");
}

void PlatCheckMenuItem(PlatWindow *, int command, int checked) { recording.checks[command] = checked; }

void PlatDestroyWindow(PlatWindow *window) {
    recording.destroyed = true;
    Event("destroy");
    OnDestroy(window);
}

void PlatPostQuit(int exitCode) { recording.quitCode = exitCode; }

void PlatRunAboutDialog(PlatWindow *) {
    recording.aboutRuns++;
    Event("about");
    PlatDialog dialog{{}, -1, 0};
    AboutCommand(&dialog, DIALOG_OK);
    recording.dialogResult = dialog.ended;
}

// ---- Dialogs answered from the script ----------------------------------------------

// The map list as a user works it: the shell fills the list, the script
// selects a row (or none) and presses OK or Cancel.
void PlatRunMapSelectDialog(PlatWindow *) {
    if (MapListAnswer) {  // answered without a list, as the Linux program's reload does
        recording.answeredLists++;
        AnswerMapList();
        return;
    }
    recording.dialogRuns++;
    recording.dialogGeneration = MapGeneration;
    Event("dialog");
    PlatDialog dialog{{}, -1, -1};
    MapSelectInit(&dialog);
    recording.offeredRows = dialog.rows;
    int row = -1;
    if (recording.chooseRow >= 0) {
        row = recording.chooseRow < int(dialog.rows.size()) ? recording.chooseRow : -1;
    } else {
        for (size_t i = 0; i < dialog.rows.size() && row < 0; i++)
            if (dialog.rows[i] == recording.chooseName) row = int(i);
    }
    dialog.selection = row;
    bool ok = row >= 0 || recording.okWithoutRow;
    MapSelectCommand(&dialog, ok ? DIALOG_OK : DIALOG_CANCEL);
    recording.dialogResult = dialog.ended;
}

void PlatListReset(PlatDialog *dialog) { dialog->rows.clear(); }
void PlatListAppend(PlatDialog *dialog, const char *text) { dialog->rows.push_back(text); }
int PlatListSelection(PlatDialog *dialog) { return dialog->selection; }
void PlatListText(PlatDialog *dialog, int index, char *out, size_t capacity) {
    std::snprintf(out, capacity, "%s", dialog->rows[size_t(index)].c_str());
}
void PlatEndDialog(PlatDialog *dialog, int result) { dialog->ended = result; }

int PlatChooseOpenFile(PlatWindow *, OpenFileRequest *request) {
    recording.openDialogs++;
    Event("open dialog");
    const char *f = request->filter;
    size_t n = 0;
    while (f[n] || f[n + 1]) n++;  // up to the double zero byte
    recording.openFilter.assign(f, n + 2);
    recording.openTitle = request->title;
    recording.openPrefilled = request->file;
    if (recording.openAnswer.empty()) return 0;
    std::snprintf(request->file, request->fileCapacity, "%s", recording.openAnswer.c_str());
    return 1;
}

// ---- Cursor and paint -------------------------------------------------------------

PlatCursor *PlatGetSavedCursor(PlatWindow *) {
    return reinterpret_cast<PlatCursor *>(intptr_t(recording.savedCursor));
}
void PlatSaveCursor(PlatWindow *, PlatCursor *cursor) {
    recording.savedCursor = int(reinterpret_cast<intptr_t>(cursor));
}
PlatCursor *PlatTakeSavedCursor(PlatWindow *) {
    int saved = recording.savedCursor;
    recording.savedCursor = 0;
    return reinterpret_cast<PlatCursor *>(intptr_t(saved));
}
PlatCursor *PlatSetWaitCursor(PlatWindow *) {
    int previous = recording.cursor;
    recording.cursor = 99;  // the wait cursor
    Event("wait cursor");
    return reinterpret_cast<PlatCursor *>(intptr_t(previous));
}
void PlatSetCursor(PlatWindow *, PlatCursor *cursor) {
    recording.cursor = int(reinterpret_cast<intptr_t>(cursor));
    Event("cursor " + std::to_string(recording.cursor));
}
void PlatShowCursor(int show) { recording.showCount += show ? 1 : -1; }

PlatDC *PlatBeginPaint(PlatWindow *) {
    recording.paints++;
    Event("begin paint");
    return &theDC;
}
void PlatEndPaint(PlatWindow *, PlatDC *) { Event("end paint"); }

void PlatGetClientSize(PlatWindow *, int32_t *right, int32_t *bottom) {
    *right = recording.clientRight;
    *bottom = recording.clientBottom;
}

// ---- Drawing ------------------------------------------------------------------------

static void Record(const char *op, int32_t a, int32_t b) {
    if (recording.recordCalls) recording.calls.push_back({op, a, b});
}

void PlatSetMapModeAnisotropic(PlatDC *) { Record("mapmode", 8, 0); }
void PlatSetViewportExt(PlatDC *, int32_t w, int32_t h) { Record("viewport", w, h); }
void PlatSetWindowExt(PlatDC *, int32_t w, int32_t h) { Record("window", w, h); }
void PlatSetWindowOrg(PlatDC *, int32_t x, int32_t y) { Record("origin", x, y); }
void PlatMoveTo(PlatDC *, int32_t x, int32_t y) { Record("move", x, y); }
void PlatLineTo(PlatDC *, int32_t x, int32_t y) { Record("line", x, y); }
