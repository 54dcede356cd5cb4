// load_report.h - how a load ends: the message the user is shown, the model
// released around it, and a result the caller can read.
//
// The loaders (LoadBspFile, LoadPakFile, ReadLevelAt) report every failure
// to the user themselves and return only 1 or 0, so the desktop programs
// need nothing more. A caller that acts on the outcome (korvitan-cli, the
// tests) reads LastLoadResult() after the loader returns: a level loaded, a
// failure with the very text and caption shown, or an archive read with no
// map chosen.
#ifndef KORVITAN_MAP_LOAD_REPORT_H
#define KORVITAN_MAP_LOAD_REPORT_H

struct PlatWindow;

enum LoadStatus {
    LOAD_LOADED,  // a level is in the model
    LOAD_FAILED,  // a message was shown; the model holds no level
    LOAD_NO_MAP,  // an archive was read but no map was chosen
};

struct LoadResult {
    LoadStatus status;
    const char *text;     // LOAD_FAILED: the message's text, else null
    const char *caption;  // LOAD_FAILED: its caption, else null
};

// What the last load ended with. The text stays valid until the next load.
LoadResult LastLoadResult(void);

// ---- For the readers ------------------------------------------------------------

// While held (hold 1), a failure is recorded for LastLoadResult() but no
// message box is shown: a load that runs without the user asking for it (a
// reload of the Linux program) reports its failure its own way. Released
// (hold 0) at start; the Windows program never holds them.
void HoldLoadMessages(int hold);

// Records a load's end without a message: LOAD_LOADED or LOAD_NO_MAP.
void EndLoad(LoadStatus status);
// Shows a failure and records it; the model is left as it is.
void ReportLoadFailure(PlatWindow *window, const char *text, const char *caption);
// Shows text with the caption "Error", then releases the whole model: the
// order of the failures the archive and level formats have always had.
void ReportThenRelease(PlatWindow *window, const char *text);
// Releases the whole model first, then shows text with the caption "Error",
// so that nothing half-read can be painted while the message is up. For
// the reads that stop a load when a file holds less than it claims.
void ReleaseThenReport(PlatWindow *window, const char *text);

#endif
