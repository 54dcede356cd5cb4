// recording_backend.h - a backend for the unit tests that records what a
// user would see and answers what a user would answer.
//
// Files are real (the POSIX file layer); everything else is recorded:
// message boxes with text and caption, titles, repaint requests and drawing
// calls, in one event log so that a test can check their order too. Every
// message box also paints the current view behind it, as the desktop
// programs' modal loops do, so every failure shows that the model it
// leaves is safe to paint while its message is up. The map
// list is answered from a script, and the allocator counts bytes and can be
// told to refuse a request.
#ifndef KORVITAN_RECORDING_BACKEND_H
#define KORVITAN_RECORDING_BACKEND_H

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

struct PlatWindow;
struct PlatDC;

struct RecordedMessage {
    std::string text;
    std::string caption;
    bool fileOpen;  // the model still held its open file while this was up
    // Lines the window's paint drew while this was up: a message box runs a
    // modal loop that repaints the window, so the backend paints the
    // current view (as that loop's paint would) from inside every message.
    int linesBehind;
    bool modelWhole;  // every count of the model had its table (MapTablesPresent)
};

struct RecordedCall {
    std::string op;  // "mapmode", "viewport", "window", "origin", "move", "line"
    int32_t a, b;
};

struct Recording {
    // What the user saw.
    std::vector<std::string> events;  // "message CAPTION|TEXT", "title T", "repaint", "dialog"
    std::vector<RecordedMessage> messages;
    std::vector<std::string> titles;
    int repaints;
    std::vector<RecordedCall> calls;  // drawing calls, when recordCalls is set
    // The rows the map list offered at its last run.
    std::vector<std::string> offeredRows;
    int dialogRuns;
    int answeredLists;  // map lists answered without being shown (MapListAnswer)
    uint32_t dialogGeneration;  // MapGeneration while the map list last ran
    int dialogResult;  // what the last dialog ended with, -1 if it did not
    std::map<int, int> checks;  // check mark by command; absent: never set
    int aboutRuns;
    bool destroyed;
    int quitCode;  // -1 until the program posts its quit
    // The open-file dialog: what it was asked, how often.
    int openDialogs;
    std::string openFilter;  // the whole filter, zero bytes included
    std::string openTitle;
    std::string openPrefilled;
    // The cursor: the current one, the window's saved property, the show
    // count. Cursors are small integers; 0 stands for none.
    int cursor;
    int savedCursor;
    int showCount;
    int paints;

    // What the user answers and the host provides.
    std::string chooseName;  // chosen row text; "" cancels
    int chooseRow;           // >= 0: choose the row at that index instead
    bool okWithoutRow;       // press OK with no row selected
    std::string openAnswer;  // the path the user confirms; "" cancels
    int32_t clientRight, clientBottom;
    bool recordCalls;

    // The allocator.
    uint64_t bytesAllocated;  // sum of every request
    uint64_t largestRequest;
    int allocations;
    int failAllocation;       // refuse the request with this 1-based number
    int64_t liveBlocks;       // blocks not yet freed
};

extern Recording recording;

// Empties the recording and the model (tables, bounds, fileName,
// selectedMapName), as at program start.
void ResetRecording(void);

// The window and device context the backend hands out.
PlatWindow *RecordingWindow(void);
PlatDC *RecordingDC(void);

// Every drawing call of the six views of the loaded level, one line each
// ("line X Y"), to compare two loads of the same level.
std::string SixViewsDrawn(void);
// The same as a set: each view's mapping calls and each directed segment
// ("VIEW line X1 Y1 X2 Y2") once, in no order. The pixels of a view depend
// on no more, so two levels with the same set draw the same pixels.
std::set<std::string> SixViewsSegmentSet(void);

#endif
