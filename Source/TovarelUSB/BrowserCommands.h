// The browser's commands beside the toolbar, reached from the context menus and the keys of the
// file list and the folder tree. Each is enabled by one test, the menu's and the key's alike; the
// three that have a toolbar button use the button's test.
#pragma once

#include <windows.h>

// Whether the command (an IDM_ id of the context menus, or IDC_UP) may run now, asked from this
// control: the folder tree acts on its selected folder, anything else on the file list's selection.
bool BrowserCommandEnabled(UINT command, HWND from);
// Runs the command when its test holds. False for an id that is no browser command.
bool RunBrowserCommand(UINT command, HWND from);
