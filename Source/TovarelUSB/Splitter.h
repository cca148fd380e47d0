// The window of class "MRQ_SPLITTERVIEW" that lies under the panes and drags the bands between them.
#pragma once

#include <windows.h>

bool RegisterSplitterClass(HINSTANCE instance);
// Back to no drag (done when the main window is built).
void ResetSplitterDrag();
