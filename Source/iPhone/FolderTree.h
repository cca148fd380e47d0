// The folder tree of the open location and the device listing behind it.
#pragma once

#include "iPhone.h"

wchar_t* ResolveDevicePath(const wchar_t* path);
int FolderHasSubfolders(const wchar_t* devicePath, const char* devicePathUtf8);
FolderNode* ListFolder(FolderNode* node);
void InsertSorted(FolderNode** list, FolderNode* node);
int CompareNames(const wchar_t* a, const wchar_t* b);
void LoadFolderChildren(HTREEITEM item, FolderNode* node, FolderNode* list);
void FreeFolderNode(FolderNode* node);
