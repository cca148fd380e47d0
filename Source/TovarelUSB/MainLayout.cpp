#include "MainLayout.h"

int SplitterDeviceListWidth;
int SplitterDeviceListHeight;
int SplitterLocationsListHeight;
int SplitterTreeWidth;
int SplitterListWidth;

bool BuildMainWindow(HWND) { return false; }
void LayoutMainWindow(HWND) {}
void ApplyMinTrackSize(MINMAXINFO*) {}
