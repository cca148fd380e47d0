#include "FolderTree.h"

wchar_t* ResolveDevicePath(const wchar_t*) { return nullptr; }
int FolderHasSubfolders(const wchar_t*, const char*) { return 0; }
FolderNode* ListFolder(FolderNode*) { return nullptr; }
void InsertSorted(FolderNode**, FolderNode*) {}
int CompareNames(const wchar_t*, const wchar_t*) { return 0; }
void LoadFolderChildren(HTREEITEM, FolderNode*, FolderNode*) {}
void FreeFolderNode(FolderNode*) {}
