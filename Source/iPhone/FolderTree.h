// The folder tree of the open location and the device listing behind it.
#pragma once

#include <string>
#include <unordered_map>

#include "iPhone.h"

int FolderHasSubfolders(const wchar_t* devicePath, const char* devicePathUtf8);
// Answers of FolderHasSubfolders known without asking the device, by device path: a copy knows
// what the folders it has just made hold. While a table is in use (null: none), its answers are
// taken; use it only on the thread that lists and only for as long as it holds.
using KnownSubfolders = std::unordered_map<std::wstring, bool>;
void UseKnownSubfolders(const KnownSubfolders* known);
// A new content list of the folder (caller owns it; FreeFolderList), or null when the folder is
// empty or cannot be read.
FolderNode* ListFolder(FolderNode* node);
// Single insertion in name order; an equal name goes before the ones already there.
void InsertSorted(FolderNode** list, FolderNode* node);
// Stores the folder's content list and re-creates the tree items below `item`. Takes ownership of
// `list`; with no list the folder is read from the device.
void LoadFolderChildren(HTREEITEM item, FolderNode* node, FolderNode* list);
// Forgets what was read of a folder: releases its content list and the tree items below `item`
// (item may be null), clears `listed`, and gives a folder with subfolders its placeholder back, so
// the next expansion or selection reads it afresh from the device.
void UnloadFolderChildren(HTREEITEM item, FolderNode* node);
// The node of a tree item; *ok is false when the item cannot be read.
FolderNode* TreeItemNode(HWND tree, HTREEITEM item, bool* ok);
// The tree's selected item when its node is the current folder, else null.
HTREEITEM CurrentFolderTreeItem(HWND tree);
// The child item of `parent` whose node is `node`; null when none is, or a child cannot be read.
HTREEITEM FindChildTreeItem(HWND tree, HTREEITEM parent, const FolderNode* node);
// Releases one node with its strings and everything below it (not its siblings).
void FreeFolderNode(FolderNode* node);
// Counts the folder nodes freed and the tree items deleted: a node or tree item taken before a wait
// is still good afterwards if the count is the same.
uint64_t FolderTreeRemovals();
void NoteFolderTreeRemoval();
// Releases a whole content list: every node from `first` along `next`.
void FreeFolderList(FolderNode* first);
// A new unlisted node with copies of `name` and `path` (path may be null); null when memory runs out.
FolderNode* NewFolderNode(FolderNode* parent, const wchar_t* name, const wchar_t* path, int32_t isFolder);

// QueryPerformanceCounter ticks spent putting listed entries in order, summed over all listings
// since the start; the listing benchmark reads it to separate the program's own work from the
// device calls.
extern std::atomic<int64_t> g_listingOrderTicks;
