// Drag and drop from Explorer onto the tree and the file list.
#pragma once

#include <ole2.h>

extern IDropTarget* g_treeDropTarget;
extern IDropTarget* g_listDropTarget;

// Creates the drop targets of the folder tree and the file list and registers them.
void RegisterDropTargets(HWND mainWindow);
// A drop target serving one control, not registered; null when memory runs out.
IDropTarget* NewDropTarget(HWND control, bool isTree);
