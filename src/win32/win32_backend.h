// win32_backend.h - what the Windows program's entry and its backend share.
//
// The opaque handles of platform.h are the Win32 handles themselves: a
// PlatWindow* is the main window's HWND, a PlatDialog* a dialog's HWND, a
// PlatDC* the paint HDC and a PlatCursor* an HCURSOR. These helpers convert
// in both directions so the casts live in one place.
#ifndef KORVITAN_WIN32_BACKEND_H
#define KORVITAN_WIN32_BACKEND_H

#include <windows.h>

#include "platform/platform.h"

// The program instance, saved before the main window is created; the
// dialogs are loaded from its resources.
extern HINSTANCE hInst;

INT_PTR CALLBACK MapSelectDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

inline PlatWindow *AsPlatWindow(HWND window) { return reinterpret_cast<PlatWindow *>(window); }
inline HWND AsHwnd(PlatWindow *window) { return reinterpret_cast<HWND>(window); }
inline PlatDialog *AsPlatDialog(HWND dialog) { return reinterpret_cast<PlatDialog *>(dialog); }
inline HWND AsHwnd(PlatDialog *dialog) { return reinterpret_cast<HWND>(dialog); }
inline PlatDC *AsPlatDC(HDC dc) { return reinterpret_cast<PlatDC *>(dc); }
inline HDC AsHdc(PlatDC *dc) { return reinterpret_cast<HDC>(dc); }
inline PlatCursor *AsPlatCursor(HCURSOR cursor) { return reinterpret_cast<PlatCursor *>(cursor); }
inline HCURSOR AsHcursor(PlatCursor *cursor) { return reinterpret_cast<HCURSOR>(cursor); }

#endif
