// Placeholders until new folder, rename and delete are built.
#include "FileOperations.h"

void CreateNewFolder() {}
void DeleteSelectedItems() {}
void RefreshLocation() {}
void RenameListItem(int, const wchar_t*) {}
void RenameTreeFolder(HTREEITEM, FolderNode*, const wchar_t*) {}
