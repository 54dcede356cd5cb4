// win32_backend.cpp - the operations of platform.h over USER32, GDI32 and
// COMDLG32: message boxes, title, repaint, menus, cursor, paint device
// context, the open-file dialog and the two dialogs of the program's own.
//
// Every function is one or two Win32 calls; the handles are passed through
// as they are (see win32_backend.h). The drawing calls reach GDI unchanged,
// zero extents included: GDI refuses a zero extent and keeps the previous.
#include <windows.h>
// commdlg.h needs the types of windows.h first.
#include <commdlg.h>

#include <cstring>

#include "map/model.h"
#include "win32/win32_backend.h"
#include "res/resource.h"

static const char PREV_CURSOR_PROP[] = "hPrevCursor";

// ---- The main window --------------------------------------------------------

void PlatMessageBox(PlatWindow *window, const char *text, const char *caption) {
    MessageBoxA(AsHwnd(window), text, caption, MB_OK);
}

void PlatSetWindowTitle(PlatWindow *window, const char *title) {
    SetWindowTextA(AsHwnd(window), title);
}

void PlatInvalidate(PlatWindow *window) { InvalidateRect(AsHwnd(window), NULL, TRUE); }

// The dialog empties selectedMapName when it starts; emptying it here too
// means a dialog that cannot be created at all reads as "no map chosen"
// rather than repeating the previous choice.
void PlatRunMapSelectDialog(PlatWindow *window) {
    selectedMapName[0] = '\0';
    DialogBoxParamA(hInst, "DlgSMap", AsHwnd(window), MapSelectDlgProc, 0);
}

void PlatGetClientSize(PlatWindow *window, int32_t *right, int32_t *bottom) {
    RECT client;
    if (!GetClientRect(AsHwnd(window), &client)) client = RECT{0, 0, 0, 0};
    *right = client.right;
    *bottom = client.bottom;
}

// ---- Menus, dialogs, window life ------------------------------------------------

void PlatCheckMenuItem(PlatWindow *window, int command, int checked) {
    CheckMenuItem(GetMenu(AsHwnd(window)), UINT(command),
                  MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void PlatDestroyWindow(PlatWindow *window) { DestroyWindow(AsHwnd(window)); }

void PlatPostQuit(int exitCode) { PostQuitMessage(exitCode); }

void PlatRunAboutDialog(PlatWindow *window) {
    DialogBoxParamA(hInst, "AboutBox", AsHwnd(window), AboutDlgProc, 0);
}

// The dialog takes paths up to MAX_PATH - 1 characters; the request's
// buffer may be larger (it is sized for any path the host can open) but
// never smaller than what the dialog is told.
int PlatChooseOpenFile(PlatWindow *window, OpenFileRequest *request) {
    static char fileTitle[MAX_PATH];
    static char initialDir[1];
    fileTitle[0] = '\0';
    initialDir[0] = '\0';
    if (request->fileCapacity == 0) return 0;
    DWORD capacity = request->fileCapacity < MAX_PATH ? DWORD(request->fileCapacity) : MAX_PATH;
    // A pre-filled name longer than the dialog takes starts it empty.
    if (strnlen(request->file, capacity) == capacity) request->file[0] = '\0';

    OPENFILENAMEA ofn;
    std::memset(&ofn, 0, sizeof ofn);
    ofn.lStructSize = sizeof(OPENFILENAMEA);
    ofn.hwndOwner = AsHwnd(window);
    ofn.hInstance = NULL;
    ofn.lpstrFilter = request->filter;
    ofn.lpstrCustomFilter = NULL;
    ofn.nMaxCustFilter = 0;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = request->file;
    ofn.nMaxFile = capacity;
    ofn.lpstrFileTitle = fileTitle;
    ofn.nMaxFileTitle = sizeof fileTitle;
    ofn.lpstrInitialDir = initialDir;
    ofn.lpstrTitle = request->title;
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    return GetOpenFileNameA(&ofn) ? 1 : 0;
}

// ---- The busy cursor ----------------------------------------------------------------

PlatCursor *PlatGetSavedCursor(PlatWindow *window) {
    return AsPlatCursor(static_cast<HCURSOR>(GetPropA(AsHwnd(window), PREV_CURSOR_PROP)));
}

void PlatSaveCursor(PlatWindow *window, PlatCursor *cursor) {
    SetPropA(AsHwnd(window), PREV_CURSOR_PROP, AsHcursor(cursor));
}

PlatCursor *PlatTakeSavedCursor(PlatWindow *window) {
    return AsPlatCursor(static_cast<HCURSOR>(RemovePropA(AsHwnd(window), PREV_CURSOR_PROP)));
}

PlatCursor *PlatSetWaitCursor(PlatWindow *) {
    return AsPlatCursor(SetCursor(LoadCursorA(NULL, IDC_WAIT)));
}

void PlatSetCursor(PlatWindow *, PlatCursor *cursor) { SetCursor(AsHcursor(cursor)); }

void PlatShowCursor(int show) { ShowCursor(show ? TRUE : FALSE); }

// ---- Paint ----------------------------------------------------------------------------

// One paint at a time: the paint cycle never runs a message loop between
// BeginPaint and EndPaint, so one record serves.
static PAINTSTRUCT paintRecord;

PlatDC *PlatBeginPaint(PlatWindow *window) {
    return AsPlatDC(BeginPaint(AsHwnd(window), &paintRecord));
}

void PlatEndPaint(PlatWindow *window, PlatDC *) { EndPaint(AsHwnd(window), &paintRecord); }

void PlatSetMapModeAnisotropic(PlatDC *dc) { SetMapMode(AsHdc(dc), MM_ANISOTROPIC); }

void PlatSetViewportExt(PlatDC *dc, int32_t width, int32_t height) {
    SetViewportExtEx(AsHdc(dc), width, height, NULL);
}

void PlatSetWindowExt(PlatDC *dc, int32_t width, int32_t height) {
    SetWindowExtEx(AsHdc(dc), width, height, NULL);
}

// The Windows program never zooms, so this is never called there; it is
// here because every backend answers the whole of platform.h.
void PlatSetWindowOrg(PlatDC *dc, int32_t x, int32_t y) { SetWindowOrgEx(AsHdc(dc), x, y, NULL); }

void PlatMoveTo(PlatDC *dc, int32_t x, int32_t y) { MoveToEx(AsHdc(dc), x, y, NULL); }

void PlatLineTo(PlatDC *dc, int32_t x, int32_t y) { LineTo(AsHdc(dc), x, y); }

// ---- The map list ---------------------------------------------------------------------

static LRESULT SendToList(PlatDialog *dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendDlgItemMessageA(AsHwnd(dialog), IDC_MAPLIST, message, wParam, lParam);
}

void PlatListReset(PlatDialog *dialog) { SendToList(dialog, LB_RESETCONTENT, 0, 0); }

void PlatListAppend(PlatDialog *dialog, const char *text) {
    SendToList(dialog, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

int PlatListSelection(PlatDialog *dialog) {
    LRESULT row = SendToList(dialog, LB_GETCURSEL, 0, 0);
    return row == LB_ERR ? -1 : int(row);
}

// LB_GETTEXT writes the whole row with no bound, so its length is checked
// against the capacity first. A row that does not fit (none of ours can:
// rows are at most 55 characters) reads as empty text.
void PlatListText(PlatDialog *dialog, int index, char *out, size_t capacity) {
    if (capacity == 0) return;
    out[0] = '\0';
    LRESULT length = SendToList(dialog, LB_GETTEXTLEN, WPARAM(index), 0);
    if (length == LB_ERR || length < 0 || size_t(length) >= capacity) return;
    LRESULT copied = SendToList(dialog, LB_GETTEXT, WPARAM(index), reinterpret_cast<LPARAM>(out));
    if (copied == LB_ERR) out[0] = '\0';
}

void PlatEndDialog(PlatDialog *dialog, int result) { EndDialog(AsHwnd(dialog), result); }
