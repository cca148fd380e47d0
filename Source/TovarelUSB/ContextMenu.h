// The context menus and the extra keys of the file list and the folder tree.
#pragma once

#include <windows.h>

// WM_CONTEXTMENU from the file list or the folder tree: a right-click on an item not selected
// selects it first, as Explorer does; the menu's choice comes back as a WM_COMMAND. False for
// any other control.
bool ShowBrowserContextMenu(HWND window, HWND control, LPARAM position);
// Gives the file list and the folder tree the keys of the browser's commands: F2, F5,
// Ctrl+Shift+N, Ctrl+C, Ctrl+V and Alt+Up. The keys of the dialog's own dispatch stay as they are.
void InstallBrowserKeys(HWND window);
