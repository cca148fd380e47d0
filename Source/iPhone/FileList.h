// The file list: the content of the current folder.
#pragma once

#include "iPhone.h"

void ShowFolderInList(HTREEITEM item, FolderNode* node);
void OpenFolderItem(int index);
void OpenSelectedItem();
void GoUpOneLevel();
void GoUpFromKeyboard();
void SelectAllItems();
