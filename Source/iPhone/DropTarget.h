// Drag and drop from Explorer onto the tree and the file list.
#pragma once

#include <ole2.h>

extern IDropTarget* g_treeDropTarget;
extern IDropTarget* g_listDropTarget;

void RegisterDropTargets(HWND mainWindow);
