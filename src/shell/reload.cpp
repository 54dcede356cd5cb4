// reload.cpp - see reload.h.
#include "shell/reload.h"

#include <cstring>

#include "archive/archive_layer.h"
#include "map/archive_kind.h"
#include "map/level_reader.h"
#include "map/load_report.h"
#include "map/model.h"
#include "platform/platform.h"
#include "res/resource.h"
#include "shell/dialogs.h"
#include "shell/shell.h"

uint32_t OverlayGeneration;

namespace {

// Where the shown level came from.
struct LevelSource {
    bool valid;
    bool archive;
    std::string path;
    std::string row;  // the map list's row, for an archive
};

struct OverlayState {
    Overlay overlay;
    std::string chosen;    // a file loaded from anywhere; empty: the files beside the level
    bool found;            // a file was read (whole or up to a broken line)
    bool shown;
    std::string message;   // what reading it found wrong
};

LevelSource source;
OverlayState overlays[OVERLAY_KINDS];
bool stale;
std::string levelMessage;  // why the last reload failed
bool automatic = true;

const int SHOW_COMMAND[OVERLAY_KINDS] = {IDM_SHOW_LEAK, IDM_SHOW_PORTALS};

// ---- Overlays -------------------------------------------------------------------------------

// The files an overlay is looked for in, in order: the one loaded from
// anywhere, else those beside a standalone level.
std::vector<std::string> OverlayCandidates(OverlayKind kind) {
    const OverlayState &o = overlays[kind];
    if (!o.chosen.empty()) return {o.chosen};
    if (!source.valid || source.archive) return {};
    // Where a compiler writes each: the leak trace in one of two endings.
    static const char *const ENDINGS[OVERLAY_KINDS][2] = {{".pts", ".lin"}, {".prt", nullptr}};
    std::vector<std::string> paths;
    for (const char *ending : ENDINGS[kind]) {
        char path[FILE_NAME_SIZE];
        if (ending && OverlayPathBeside(source.path.c_str(), ending, path, sizeof path)) paths.push_back(path);
    }
    return paths;
}

// Reads the overlay from the first of its files that opens. A file that
// cannot be opened is no message (it is not there yet, or no longer), but
// one chosen by the user that cannot be, when it was just chosen, is.
void ReadOverlay(OverlayKind kind, bool justChosen) {
    OverlayState &o = overlays[kind];
    o.found = false;
    o.message.clear();
    FreeOverlay(&o.overlay);
    for (const std::string &path : OverlayCandidates(kind)) {
        char message[FILE_NAME_SIZE + 128];
        OverlayRead read = ReadOverlayFile(kind, path.c_str(), &o.overlay, message, sizeof message);
        if (read == OVERLAY_ABSENT) {
            if (justChosen) o.message = message;
            continue;
        }
        o.found = true;
        if (read == OVERLAY_BROKEN) o.message = message;
        break;
    }
    OverlayGeneration++;
}

void ShowOverlay(PlatWindow *window, OverlayKind kind, bool shown) {
    overlays[kind].shown = shown;
    PlatCheckMenuItem(window, SHOW_COMMAND[kind], shown);
    OverlayGeneration++;
}

// After a reload: a leak trace that appears is shown, one that is gone is
// unchecked; the portals stay as the user set them.
void ReadOverlaysAgain(PlatWindow *window) {
    bool leakBefore = overlays[OVERLAY_LEAK].found;
    for (int k = 0; k < OVERLAY_KINDS; k++) ReadOverlay(OverlayKind(k), false);
    bool leakNow = overlays[OVERLAY_LEAK].found;
    if (leakNow != leakBefore) ShowOverlay(window, OVERLAY_LEAK, leakNow);
}

// ---- The level ---------------------------------------------------------------------------------

bool LevelLoaded(void) { return LastLoadResult().status == LOAD_LOADED && MapData.vertices; }

// The failure of a reload as one line: "CAPTION: TEXT" as korvitan-cli
// prints a load's failure.
std::string FailureLine(void) {
    LoadResult result = LastLoadResult();
    if (result.status == LOAD_NO_MAP) return "Error: the archive no longer holds " + source.row;
    std::string caption = result.caption ? result.caption : "Error";
    if (caption.empty() || caption.back() != ':') caption += ':';
    return caption + " " + (result.text ? result.text : "");
}

// The same open as before, answered as before, with no message box.
void OpenSourceAgain(PlatWindow *window) {
    std::strncpy(fileName, source.path.c_str(), sizeof fileName - 1);
    fileName[sizeof fileName - 1] = '\0';
    HoldLoadMessages(1);
    if (source.archive) {
        MapListAnswer = source.row.c_str();
        LoadArchiveFile(window);
        MapListAnswer = nullptr;
    } else {
        LoadBspFile(window);
    }
    HoldLoadMessages(0);
}

// The filters of the overlays' file choice.
const char LEAK_FILTER[] = "Leak traces (*.pts, *.lin)\0*.pts;*.lin\0All files\0*\0";
const char PORTAL_FILTER[] = "Portal files (*.prt)\0*.prt\0All files\0*\0";

void ChooseOverlay(PlatWindow *window, OverlayKind kind) {
    static char chosen[FILE_NAME_SIZE];
    const std::string &start = overlays[kind].chosen.empty() ? source.path : overlays[kind].chosen;
    std::strncpy(chosen, start.c_str(), sizeof chosen - 1);
    OpenFileRequest request = {kind == OVERLAY_LEAK ? LEAK_FILTER : PORTAL_FILTER,
                               kind == OVERLAY_LEAK ? "Load Leak Trace" : "Load Portals", chosen, sizeof chosen};
    if (!PlatChooseOpenFile(window, &request)) return;
    overlays[kind].chosen = chosen;
    ReadOverlay(kind, true);
    ShowOverlay(window, kind, overlays[kind].found);
    PlatInvalidate(window);
}

}  // namespace

void OnDesignerCreate(PlatWindow *window) {
    PlatCheckMenuItem(window, IDM_RELOAD_AUTOMATICALLY, automatic);
    for (int k = 0; k < OVERLAY_KINDS; k++) PlatCheckMenuItem(window, SHOW_COMMAND[k], overlays[k].shown);
}

int OnDesignerCommand(PlatWindow *window, uint32_t command) {
    switch (command) {
    case IDM_RELOAD: ReloadLevel(window); return 1;
    case IDM_LOAD_LEAK: ChooseOverlay(window, OVERLAY_LEAK); return 1;
    case IDM_LOAD_PORTALS: ChooseOverlay(window, OVERLAY_PORTALS); return 1;
    case IDM_SHOW_LEAK:
    case IDM_SHOW_PORTALS: {
        OverlayKind kind = command == IDM_SHOW_LEAK ? OVERLAY_LEAK : OVERLAY_PORTALS;
        ShowOverlay(window, kind, !overlays[kind].shown);
        PlatInvalidate(window);
        return 1;
    }
    case IDM_RELOAD_AUTOMATICALLY:
        automatic = !automatic;
        PlatCheckMenuItem(window, IDM_RELOAD_AUTOMATICALLY, automatic);
        return 1;
    default: return 0;
    }
}

void NoteOpenedLevel(PlatWindow *window) {
    source = LevelSource{};
    if (LevelLoaded()) {
        source.valid = true;
        source.archive = LastOpenCommand() == IDM_OPENPAK;
        source.path = fileName;
        if (source.archive) source.row = ChosenArchiveRow();
    }
    stale = false;
    levelMessage.clear();
    for (int k = 0; k < OVERLAY_KINDS; k++) {
        overlays[k].chosen.clear();
        ReadOverlay(OverlayKind(k), false);
    }
    ShowOverlay(window, OVERLAY_LEAK, overlays[OVERLAY_LEAK].found);
    ShowOverlay(window, OVERLAY_PORTALS, false);
}

int ReloadLevel(PlatWindow *window) {
    if (!source.valid) return 0;
    KeptLevel kept;
    SetLevelAside(&kept);
    OpenSourceAgain(window);
    bool loaded = LastLoadResult().status == LOAD_LOADED;
    if (loaded) {
        FreeKeptLevel(&kept);
        levelMessage.clear();
    } else {
        levelMessage = FailureLine();
        PutLevelBack(&kept);
        EndLoad(LOAD_LOADED);  // the model holds the last good level again
    }
    stale = !loaded;
    ReadOverlaysAgain(window);
    PlatInvalidate(window);
    return loaded;
}

const char *ReloadSource(void) { return source.valid ? source.path.c_str() : nullptr; }

std::vector<std::string> WatchedFiles(void) {
    std::vector<std::string> files;
    if (!source.valid) return files;
    files.push_back(source.path);
    for (int k = 0; k < OVERLAY_KINDS; k++)
        for (const std::string &path : OverlayCandidates(OverlayKind(k))) files.push_back(path);
    return files;
}

int ReloadsAutomatically(void) { return automatic; }

int LevelIsStale(void) { return stale; }

std::string DesignerMessages(void) {
    std::string text = levelMessage;
    for (const OverlayState &o : overlays) {
        if (o.message.empty()) continue;
        if (!text.empty()) text += '\n';
        text += o.message;
    }
    return text;
}

void DismissDesignerMessages(void) {
    levelMessage.clear();
    for (OverlayState &o : overlays) o.message.clear();
}

const Overlay *ShownOverlay(OverlayKind kind) {
    const OverlayState &o = overlays[kind];
    return o.shown && o.overlay.pointCount ? &o.overlay : nullptr;
}
