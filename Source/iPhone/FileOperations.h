// New folder, rename and delete on the device, and the refresh of the open location.
#pragma once

#include "iPhone.h"

void CreateNewFolder();
// True, with the warning beep, while a transfer is not idle: a rename is then refused.
bool RenameRefusedNow();
// Renames the node on the device; its name and path change only once the device has accepted.
// Warns when a sibling already has the name; false when nothing was renamed.
bool RenameNode(FolderNode* node, const wchar_t* newName);
void RenameTreeFolder(HTREEITEM item, FolderNode* node, const wchar_t* text);
void RenameListItem(int index, const wchar_t* text);
// Removes the node and everything below it from the device, contents before their folder, showing
// each name in `text` (the deleting dialog's line). A symbolic link is removed as itself, never
// through the folder it points to. False when a removal failed or the location closed meanwhile.
bool DeleteNodeTree(FolderNode* node, HWND text);
void DeleteSelectedItems();
void RefreshLocation();
