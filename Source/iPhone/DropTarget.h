// Drag and drop from Explorer onto the tree and the file list.
#pragma once

#include <ole2.h>

#include "iPhone.h"

extern IDropTarget* g_treeDropTarget;
extern IDropTarget* g_listDropTarget;

// Creates the drop targets of the folder tree and the file list and registers them.
void RegisterDropTargets(HWND mainWindow);
// A drop target serving one control, not registered; null when memory runs out.
IDropTarget* NewDropTarget(HWND control, bool isTree);
// Uploads the paths of a CF_HDROP block into a folder (its tree item given), with every check and
// outcome of a drop there: the copy starts, or its warning is posted and nothing is copied. Nothing
// happens, and false is answered, while another transfer is under way or no location is open.
bool UploadFileListInto(HGLOBAL fileList, FolderNode* folder, HTREEITEM item);
