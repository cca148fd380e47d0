// Build and layout of the main window.
#pragma once

#include <windows.h>

// Pane sizes in client pixels, shared with the splitter and the settings.
extern int SplitterDeviceListWidth;
extern int SplitterDeviceListHeight;
extern int SplitterLocationsListHeight;
extern int SplitterTreeWidth;
extern int SplitterListWidth;

// Builds image lists, columns, tooltips and the splitter, measures the template, restores the
// settings. False when any step fails.
bool BuildMainWindow(HWND window);
// Places every control for the current client size.
void LayoutMainWindow(HWND window);
// WM_GETMINMAXINFO: the smallest size the window may be dragged to.
void ApplyMinTrackSize(MINMAXINFO* info);
