// The status line, the toolbar's enabled state and the byte-count text.
#pragma once

#include <windows.h>

#include <cstdint>

void UpdateStatusLine();
void UpdateToolbar();
int CanCreateFolder();
int CanDelete();
int CanGoUp();
int CanRefresh();
// The toolbar's icons are drawn at the size of a small icon at the window's scale: set on the
// user-interface thread when the window is built and when its scale changes (UpdateToolbar then
// shows them). ToolbarIcon is the icon the buttons show for an icon resource id; null for another.
void SetToolbarIconSize(int size);
HICON ToolbarIcon(int id);
// At shutdown, once the window is gone and no other thread runs.
void FreeToolbarIcons();
// The text lives in a buffer of the formatter's own, overwritten by the next call.
const wchar_t* FormatSize(uint64_t bytes);
