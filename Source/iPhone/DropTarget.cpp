// Placeholder until dropping from Explorer is built.
#include "DropTarget.h"

IDropTarget* g_treeDropTarget;
IDropTarget* g_listDropTarget;

void RegisterDropTargets(HWND) {}
