// Build and layout of the main window.
#pragma once

#include <windows.h>

#include "PaneSizes.h"

// The file list's columns: "Name", "Size", "Date modified".
const int kFileListColumns = 3;

// Builds image lists, columns, tooltips and the splitter, measures the template, restores the
// settings. False when any step fails.
// The device and locations lists get the shared-image-list style here, so neither destroys
// g_deviceImageList when it goes: the shutdown destroys it once, after both lists are gone.
bool BuildMainWindow(HWND window);
// Places every control for the current client size.
void LayoutMainWindow(HWND window);
// WM_GETMINMAXINFO: the smallest size the window may be dragged to.
void ApplyMinTrackSize(HWND window, MINMAXINFO* info);
// WM_DPICHANGED: the window moved to a monitor of another scale (dpi). The measures, the panes and
// the column widths are scaled with it, keeping their proportions, the image lists and the toolbar's
// icons are made afresh at the new size, and the window takes the rectangle the system suggests.
void OnMainWindowDpiChanged(HWND window, int dpi, const RECT* suggested);

// The DPI the layout is made for, and the band between two panes and the least size of a pane in
// pixels at that DPI.
int LayoutDpi();
int PaneBand();
int MinimumPane();

// The panes that MovePanes places.
enum : unsigned {
    PANE_DEVICE_LIST = 1,
    PANE_LOCATIONS_LIST = 2,
    PANE_TREE = 4,
    PANE_FILE_LIST = 8,
};
// Moves the chosen panes to the rectangles the current pane sizes give them and repaints them.
void MovePanes(HWND window, unsigned panes);
// Width and height of the pane area (the client area inside the measured margins).
void GetPaneAreaSize(HWND window, int* width, int* height);
