#include "FileList.h"

void ShowFolderInList(HTREEITEM, FolderNode*) {}
void OpenFolderItem(int) {}
void OpenSelectedItem() {}
void GoUpOneLevel() {}
void GoUpFromKeyboard() {}
void SelectAllItems() {}
