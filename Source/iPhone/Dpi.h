// The scale a window is drawn at, and pixel sizes and icons for it. 96 DPI is 100 %: every size the
// program states in pixels is a size at 96 DPI, scaled to the window's DPI where it is used.
#pragma once

#include <windows.h>
#include <commctrl.h>

const int kDefaultDpi = 96;

// The DPI of the monitor the window is on (Windows 10 1607 and later), else the system's.
int DpiOfWindow(HWND window);
// A size at 96 DPI at the given DPI, and back; both round to the nearest pixel.
int ScaleToDpi(int pixels, int dpi);
int ScaleFromDpi(int pixels, int dpi);
// The edge of a small icon (16 at 96 DPI) and of a large one (32) at the given DPI.
int SmallIconSize(int dpi);
int LargeIconSize(int dpi);
// Under per-monitor awareness the dialog manager would resize the window and move its controls by
// the template when the DPI changes; the main window lays itself out instead. Fonts still follow.
void KeepDialogLayoutOnDpiChange(HWND dialog);

// The edge of an image list's images; 0 without a list.
int ImageListIconSize(HIMAGELIST list);
// An icon resource of the program at this size, drawn from its nearest image; the caller owns it.
HICON LoadProgramIcon(int id, int size);
// The shell's icon for a name, by its attributes alone, at this size; the caller owns it. Null when
// the shell has none.
HICON ShellIconOfName(const wchar_t* name, DWORD attributes, int size);
