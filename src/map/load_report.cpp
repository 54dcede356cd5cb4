// load_report.cpp - see load_report.h.
#include "map/load_report.h"

#include "map/model.h"
#include "platform/platform.h"

static const char CAPTION_ERROR[] = "Error";

static LoadResult lastLoad = {LOAD_NO_MAP, nullptr, nullptr};
static int messagesHeld;

void HoldLoadMessages(int hold) { messagesHeld = hold; }

LoadResult LastLoadResult(void) { return lastLoad; }

void EndLoad(LoadStatus status) {
    lastLoad = LoadResult{status, nullptr, nullptr};
    MapGeneration++;  // the tables are whole now
}

void ReportLoadFailure(PlatWindow *window, const char *text, const char *caption) {
    lastLoad = LoadResult{LOAD_FAILED, text, caption};
    if (!messagesHeld) PlatMessageBox(window, text, caption);
}

void ReportThenRelease(PlatWindow *window, const char *text) {
    ReportLoadFailure(window, text, CAPTION_ERROR);
    FreeMapData();
}

void ReleaseThenReport(PlatWindow *window, const char *text) {
    FreeMapData();
    ReportLoadFailure(window, text, CAPTION_ERROR);
}
