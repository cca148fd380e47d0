// The main window's image lists: g_fileImageList (with g_extensionTable) for the tree and the file
// list, g_deviceImageList for the device and locations lists, made at the window's DPI.
#pragma once

#include <windows.h>
#include <commctrl.h>

// Makes g_fileImageList and an empty g_extensionTable at the size of a small icon at this DPI, with
// the background of the system's small-icon list.
bool CreateFileImageList(int dpi);
// Stores the file list's handle and gives the tree and the file list g_fileImageList.
bool AttachFileImageList(HWND window);
// Makes g_deviceImageList, stores the device and locations lists' handles and gives both the list.
bool CreateDeviceImageList(HWND window, int dpi);
// The window moved to another scale: the lists are made afresh at the new size and replace the
// old ones. On failure the lists keep the images they have.
void ReplaceDeviceImageList(int dpi);
void ReplaceFileImageList(HWND window, int dpi);
// The system's list of small icons; the first call builds the shell's icon cache. Null on failure.
HIMAGELIST SystemSmallImageList();

// Building the shell's icon cache is the slowest step of the window's build, so a thread of its own
// starts it at the very start. The shell does not always build it safely for two threads at once
// (Wine's answers a question asked meanwhile with no icon), so the window's first question about
// icons, CreateFileImageList, first waits for that thread; so does the shutdown.
void StartShellIconWarmUp();
void FinishShellIconWarmUp();
