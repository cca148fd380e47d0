// New folder, rename and delete on the device.
#pragma once

#include "iPhone.h"

void CreateNewFolder();
void DeleteSelectedItems();
void RefreshLocation();
void RenameListItem(int index, const wchar_t* text);
void RenameTreeFolder(HTREEITEM item, FolderNode* node, const wchar_t* text);
