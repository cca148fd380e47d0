// The file list: the content of the current folder.
#pragma once

#include "iPhone.h"

// The file list exists and has the keyboard focus of this thread.
bool FileListHasFocus();
void ShowFolderInList(HTREEITEM item, FolderNode* node);
void OpenFolderItem(int index);
void OpenSelectedItem();
void GoUpOneLevel();
void GoUpFromKeyboard();
void SelectAllItems();
// A change of an item reported by the file list (LVN_ITEMCHANGED). A change of the selection
// refreshes the toolbar once the input that made it has been handled.
void OnFileListItemChanged(const NMLISTVIEW* change);
// Appends to an image list made for another scale, which holds the folder and the plain file, the
// icon of every extension met so far at the given size, each at the index the file list uses for it.
// False when an icon could not be added.
bool AddExtensionImages(HIMAGELIST list, int size);
