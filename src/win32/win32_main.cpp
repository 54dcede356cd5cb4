// win32_main.cpp - the Windows program: WinMain, the main window procedure
// and the procedures of the two dialogs.
//
// WinMain registers the class, creates the window and runs the message
// loop. Each procedure is a flat switch that hands a message to one small
// handler of src/shell; nothing here knows what a level or a view is.
#include <windows.h>

#include "win32/win32_backend.h"
#include "res/resource.h"
#include "shell/dialogs.h"
#include "shell/shell.h"

HINSTANCE hInst;

static const char CLASS_NAME[] = "KORVITANWClass";
static const char MENU_NAME[] = "KORVITANMenu";

// ---- Main window -------------------------------------------------------------

// The whole 32-bit wParam is the command: a notification code in the high
// half makes it no command of ours. Win64 widens wParam to 64 bits; anything
// above the low 32 is no command either.
static LRESULT OnCommandMessage(HWND window, WPARAM wParam, LPARAM lParam) {
    if (wParam <= 0xFFFFFFFFu && OnCommand(AsPlatWindow(window), uint32_t(wParam))) return 0;
    return DefWindowProcA(window, WM_COMMAND, wParam, lParam);
}

static LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: OnCreate(AsPlatWindow(window)); return 0;
    case WM_DESTROY: OnDestroy(AsPlatWindow(window)); return 0;
    case WM_SIZE: OnSize(AsPlatWindow(window)); return 0;
    case WM_PAINT: OnPaint(AsPlatWindow(window)); return 0;
    case WM_COMMAND: return OnCommandMessage(window, wParam, lParam);
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

// ---- Dialogs -------------------------------------------------------------------
// Both look only at the low 16 bits of a command (the control), return TRUE
// for what they handle and FALSE for everything else.

INT_PTR CALLBACK MapSelectDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: MapSelectInit(AsPlatDialog(dialog)); return TRUE;
    case WM_COMMAND: return MapSelectCommand(AsPlatDialog(dialog), LOWORD(wParam)) ? TRUE : FALSE;
    default: return FALSE;
    }
}

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: return TRUE;
    case WM_COMMAND: return AboutCommand(AsPlatDialog(dialog), LOWORD(wParam)) ? TRUE : FALSE;
    default: return FALSE;
    }
}

// ---- Entry -----------------------------------------------------------------------

static BOOL RegisterMainClass(HINSTANCE instance) {
    WNDCLASSA wc;
    wc.style = 0;
    wc.lpfnWndProc = MainWndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(NULL, IDI_APPLICATION);
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszMenuName = MENU_NAME;
    wc.lpszClassName = CLASS_NAME;
    return WORD(RegisterClassA(&wc)) != 0;
}

static BOOL CreateMainWindow(HINSTANCE instance, int showState) {
    hInst = instance;
    HWND window = CreateWindowExA(0, CLASS_NAME, "KORVITAN", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL,
                                  instance, NULL);
    if (!window) return FALSE;
    ShowWindow(window, showState);
    UpdateWindow(window);
    return TRUE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int showState) {
    if (!previous && !RegisterMainClass(instance)) return 0;
    if (!CreateMainWindow(instance, showState)) return 0;
    MSG message;
    BOOL got;
    while ((got = GetMessageA(&message, NULL, 0, 0)) != 0) {
        // -1 is a failure of GetMessageA itself, and the message record then
        // holds nothing new: dispatching it again would only repeat the last
        // message for ever. Leave with a failure code instead.
        if (got == -1) return 1;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return int(message.wParam);
}
