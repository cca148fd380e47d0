#include "FolderTree.h"

#include <algorithm>
#include <new>
#include <vector>

#include "DeviceFiles.h"
#include "Devices.h"
#include "TextUtil.h"
#include "resource.h"

std::atomic<int64_t> g_listingOrderTicks{0};

namespace {

const KnownSubfolders* s_knownSubfolders;

// -1 when the table has no answer for the folder.
int KnownSubfolderAnswer(const wchar_t* devicePath)
{
    if (!s_knownSubfolders) return -1;
    try {
        auto found = s_knownSubfolders->find(devicePath);
        return found == s_knownSubfolders->end() ? -1 : (found->second ? 1 : 0);
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

FolderNode* AllocateNode(FolderNode* parent, wchar_t* ownedName, wchar_t* ownedPath, int32_t isFolder)
{
    void* memory = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(FolderNode));
    if (!memory) return nullptr;
    FolderNode* node = static_cast<FolderNode*>(memory);
    node->parent = parent;
    node->name = ownedName;
    node->path = ownedPath;
    node->isFolder = isFolder;
    return node;
}

// The three forms of one directory entry that the device calls need; the name keeps bytes that
// are not UTF-8 (see DeviceTextToUtf16), so the device path reaches the entry.
struct EntryPaths {
    OwnedWide name;
    OwnedWide devicePath;
    OwnedUtf8 devicePathUtf8;
};

bool MakeEntryPaths(const wchar_t* folderDevicePath, const char* entryName, EntryPaths& paths)
{
    paths.name.reset(DeviceTextToUtf16(entryName));
    if (!paths.name) return false;
    paths.devicePath.reset(JoinDevicePath(folderDevicePath, paths.name.get()));
    if (!paths.devicePath) return false;
    paths.devicePathUtf8.reset(DeviceTextToUtf8(paths.devicePath.get()));
    return paths.devicePathUtf8 != nullptr;
}

// The first failed file-information query on a device says its file system is not what its
// listing claims; the user is told once, and the listing goes on without that entry.
void NoteInconsistentDevice()
{
    DeviceEntry* device = g_currentDevice.load();
    if (!device || device->fsInconsistent) return;
    device->fsInconsistent = 1;
    FillDeviceList();
    g_connectionError = 1;
    RefreshDiskSpace();
}

// One listed entry waiting to be ordered; the name is kept beside the node so that comparing
// does not have to reach into every node.
struct ListedEntry {
    const wchar_t* name;
    FolderNode* node;
};
using ListedEntries = std::vector<ListedEntry>;

// Puts the entries of one group in the order repeated InsertSorted calls in read order would give
// (ascending, the later-read first among equal names) in n log n, and links them at `link`.
// Returns the link after the group's last node.
FolderNode** AppendInListOrder(ListedEntries& entries, FolderNode** link)
{
    std::reverse(entries.begin(), entries.end());
    std::stable_sort(entries.begin(), entries.end(),
                     [](const ListedEntry& a, const ListedEntry& b) { return CompareNames(a.name, b.name) < 0; });
    for (const ListedEntry& entry : entries) {
        *link = entry.node;
        link = &entry.node->next;
    }
    *link = nullptr;
    return link;
}

FolderNode* LinkFoldersThenFiles(ListedEntries& folders, ListedEntries& files)
{
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceCounter(&start);
    FolderNode* head = nullptr;
    AppendInListOrder(files, AppendInListOrder(folders, &head));
    QueryPerformanceCounter(&end);
    g_listingOrderTicks += end.QuadPart - start.QuadPart;
    return head;
}

void FreeNodes(ListedEntries& entries)
{
    for (const ListedEntry& entry : entries) FreeFolderNode(entry.node);
    entries.clear();
}

// Outcome of reading one directory entry into a node. Browsing shows what can be read and leaves
// out an entry that cannot.
enum class EntryOutcome { Added, Skipped, Failed };

EntryOutcome ReadEntry(AFCConnectionRef afc, FolderNode* folder, const wchar_t* folderDevicePath,
                       const char* entryName, ListedEntries& folders, ListedEntries& files)
{
    EntryPaths paths;
    if (!MakeEntryPaths(folderDevicePath, entryName, paths)) return EntryOutcome::Skipped;
    EntryInfo facts;
    switch (ReadEntryInfo(afc, paths.devicePathUtf8.get(), facts)) {
    case InfoRead::NotOpened:
        NoteInconsistentDevice();
        return EntryOutcome::Skipped;
    case InfoRead::Failed:
        return EntryOutcome::Failed;
    case InfoRead::Read:
        break;
    }
    if (facts.kind == EntryKind::Unknown) return EntryOutcome::Skipped;

    // The path keeps the device's bytes; the name is what the user sees.
    OwnedWide path(JoinDevicePath(folder->path, paths.name.get()));
    OwnedWide shown(ShownDeviceName(paths.name.get()));
    if (!path || !shown) return EntryOutcome::Failed;
    FolderNode* node = AllocateNode(folder, shown.get(), path.get(), ListedAsFolder(facts.kind) ? 1 : 0);
    if (!node) return EntryOutcome::Failed;
    shown.release();
    path.release();
    node->isLink = facts.kind == EntryKind::Link ? 1 : 0;
    node->modified = facts.modified;
    if (node->isFolder) {
        node->hasSubfolders = FolderHasSubfolders(paths.devicePath.get(), paths.devicePathUtf8.get());
    } else {
        node->size = facts.size;
    }
    try {
        (node->isFolder ? folders : files).push_back(ListedEntry{node->name, node});
    } catch (const std::bad_alloc&) {
        FreeFolderNode(node);
        return EntryOutcome::Failed;
    }
    return EntryOutcome::Added;
}

// The folder's content list, or null when the listing failed on the way.
FolderNode* ListLocationFolder(FolderNode* folder)
{
    AFCConnectionRef afc = CurrentConnection();
    if (!afc) return nullptr;
    OwnedWide devicePath(ResolveDevicePath(folder->path));
    if (!devicePath) return nullptr;
    OwnedUtf8 devicePathUtf8(DeviceTextToUtf8(devicePath.get()));
    if (!devicePathUtf8) return nullptr;

    ListedEntries folders;
    ListedEntries files;
    FolderRead read = ReadDeviceFolder(afc, devicePathUtf8.get(), [&](const char* entryName) {
        return ReadEntry(afc, folder, devicePath.get(), entryName, folders, files) != EntryOutcome::Failed;
    });
    if (read != FolderRead::Whole) {
        FreeNodes(folders);
        FreeNodes(files);
        return nullptr;
    }
    return LinkFoldersThenFiles(folders, files);
}

// Adds one of the two location folders below the root.
bool AddLocationNode(FolderNode* root, FolderNode** list, const wchar_t* name, const wchar_t* key,
                     const wchar_t* devicePath, const char* devicePathUtf8)
{
    FolderNode* node = NewFolderNode(root, name, key, 1);
    if (!node) return false;
    node->hasSubfolders = FolderHasSubfolders(devicePath, devicePathUtf8);
    InsertSorted(list, node);
    return true;
}

FolderNode* ListRoot(FolderNode* root)
{
    OwnedWide downloadsPath(ResolveDevicePath(L"2"));
    FATAL_CHECK(downloadsPath);
    OwnedUtf8 downloadsPathUtf8(DeviceTextToUtf8(downloadsPath.get()));
    FATAL_CHECK(downloadsPathUtf8);
    AFCConnectionRef afc = CurrentConnection();
    if (!afc) return nullptr;

    FolderNode* list = nullptr;
    if (DeviceFolderOpens(afc, downloadsPathUtf8.get())) {
        if (!AddLocationNode(root, &list, L"Downloads", L"2", downloadsPath.get(), downloadsPathUtf8.get())) {
            return nullptr;
        }
    }
    OwnedWide documentsPath(ResolveDevicePath(L"0"));
    OwnedUtf8 documentsPathUtf8(DeviceTextToUtf8(documentsPath.get()));
    if (!documentsPath || !documentsPathUtf8 ||
        !AddLocationNode(root, &list, L"My Documents", L"0", documentsPath.get(), documentsPathUtf8.get())) {
        FreeFolderList(list);
        return nullptr;
    }
    return list;
}

void DeleteChildItems(HWND tree, HTREEITEM item)
{
    NoteFolderTreeRemoval();
    HTREEITEM child = TreeView_GetChild(tree, item);
    while (child) {
        HTREEITEM next = TreeView_GetNextSibling(tree, child);
        TreeView_DeleteItem(tree, child);
        child = next;
    }
}

HTREEITEM InsertTreeItem(HWND tree, HTREEITEM parent, HTREEITEM after, FolderNode* node)
{
    TVINSERTSTRUCTW insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = after;
    if (node) {
        insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
        insert.item.pszText = node->name;
        insert.item.iImage = 0;
        insert.item.iSelectedImage = 0;
        insert.item.lParam = reinterpret_cast<LPARAM>(node);
    } else {
        // The placeholder that gives an unread folder its expand button.
        insert.item.mask = TVIF_TEXT | TVIF_PARAM;
        insert.item.pszText = const_cast<wchar_t*>(L"");
        insert.item.lParam = 0;
    }
    return TreeView_InsertItem(tree, &insert);
}

void CreateFolderItems(HWND tree, HTREEITEM item, FolderNode* children)
{
    HTREEITEM after = TVI_FIRST;
    for (FolderNode* child = children; child; child = child->next) {
        if (!child->isFolder) continue;
        HTREEITEM added = InsertTreeItem(tree, item, after, child);
        if (!ItemAdded(tree, added)) return;
        if (child->hasSubfolders && !ItemAdded(tree, InsertTreeItem(tree, added, TVI_FIRST, nullptr))) return;
        after = added;
    }
}

}  // namespace

void InsertSorted(FolderNode** list, FolderNode* node)
{
    FolderNode** link = list;
    while (*link && CompareNames((*link)->name, node->name) < 0) link = &(*link)->next;
    node->next = *link;
    *link = node;
}

int FolderHasSubfolders(const wchar_t* devicePath, const char* devicePathUtf8)
{
    AFCConnectionRef afc = CurrentConnection();
    if (!afc || !devicePath || !devicePathUtf8) return 0;
    int known = KnownSubfolderAnswer(devicePath);
    if (known >= 0) return known;
    bool found = false;
    // A failed read counts as the end of the folder: the answer only decides an expand button.
    ReadDeviceFolder(afc, devicePathUtf8, [&](const char* entryName) {
        EntryPaths paths;
        if (!MakeEntryPaths(devicePath, entryName, paths)) return true;
        EntryInfo info;
        found = ReadEntryInfo(afc, paths.devicePathUtf8.get(), info) != InfoRead::NotOpened &&
                ListedAsFolder(info.kind);
        return !found;
    });
    return found ? 1 : 0;
}

void UseKnownSubfolders(const KnownSubfolders* known)
{
    s_knownSubfolders = known;
}

FolderNode* ListFolder(FolderNode* node)
{
    if (!node || !node->isFolder) return nullptr;
    return node->path ? ListLocationFolder(node) : ListRoot(node);
}

FolderNode* TreeItemNode(HWND tree, HTREEITEM item, bool* ok)
{
    TVITEMW data = {};
    data.mask = TVIF_PARAM;
    data.hItem = item;
    *ok = item && TreeView_GetItem(tree, &data);
    return *ok ? reinterpret_cast<FolderNode*>(data.lParam) : nullptr;
}

HTREEITEM CurrentFolderTreeItem(HWND tree)
{
    HTREEITEM selected = tree ? TreeView_GetSelection(tree) : nullptr;
    bool ok = false;
    FolderNode* node = TreeItemNode(tree, selected, &ok);
    return ok && node && node == g_currentFolder.load() ? selected : nullptr;
}

HTREEITEM FindChildTreeItem(HWND tree, HTREEITEM parent, const FolderNode* node)
{
    for (HTREEITEM child = TreeView_GetChild(tree, parent); child; child = TreeView_GetNextSibling(tree, child)) {
        bool ok = false;
        FolderNode* childNode = TreeItemNode(tree, child, &ok);
        if (!ok) return nullptr;
        if (childNode == node) return child;
    }
    return nullptr;
}

void LoadFolderChildren(HTREEITEM item, FolderNode* node, FolderNode* list)
{
    if (!node || !node->isFolder || node->listed) {
        FreeFolderList(list);
        return;
    }
    FATAL_CHECK(!node->children);
    HWND tree = MainWindowControl(IDC_FOLDER_TREE);
    // The tree is missing only while the window goes: the folder is still listed, without items.
    FATAL_CHECK(tree || MainWindowGone());
    if (item && tree) DeleteChildItems(tree, item);
    node->children = list ? list : ListFolder(node);
    node->listed = 1;
    if (!item || !tree) return;
    CreateFolderItems(tree, item, node->children);
    if (g_currentFolder.load() == g_rootFolder.load() && !(TreeView_GetItemState(tree, item, TVIS_EXPANDED) & TVIS_EXPANDED)) {
        TreeView_Expand(tree, item, TVE_EXPAND);
    }
    InvalidateRect(tree, nullptr, TRUE);
    UpdateWindow(tree);
}

void UnloadFolderChildren(HTREEITEM item, FolderNode* node)
{
    if (!node || !node->isFolder) return;
    HWND tree = MainWindowControl(IDC_FOLDER_TREE);
    if (node->listed) {
        // What was read is the better answer, should the folder have gained or lost subfolders since.
        node->hasSubfolders = 0;
        for (const FolderNode* child = node->children; child; child = child->next) {
            if (child->isFolder) node->hasSubfolders = 1;
        }
    }
    // No list item may keep pointing at a node released here.
    if (node == g_currentFolder.load() && g_fileList) ListView_DeleteAllItems(g_fileList);
    if (item && tree) {
        // Collapsed first: a placeholder under an expanded item would show as an empty line.
        TreeView_Expand(tree, item, TVE_COLLAPSE);
        DeleteChildItems(tree, item);
    }
    FreeFolderList(node->children);
    node->children = nullptr;
    node->listed = 0;
    if (item && tree && node->hasSubfolders) ItemAdded(tree, InsertTreeItem(tree, item, TVI_FIRST, nullptr));
}

FolderNode* NewFolderNode(FolderNode* parent, const wchar_t* name, const wchar_t* path, int32_t isFolder)
{
    OwnedWide nameCopy(DupString(name));
    if (!nameCopy) return nullptr;
    OwnedWide pathCopy;
    if (path) {
        pathCopy.reset(DupString(path));
        if (!pathCopy) return nullptr;
    }
    FolderNode* node = AllocateNode(parent, nameCopy.get(), pathCopy.get(), isFolder);
    if (!node) return nullptr;
    nameCopy.release();
    pathCopy.release();
    return node;
}

namespace {
std::atomic<uint64_t> s_removals{0};
}  // namespace

uint64_t FolderTreeRemovals()
{
    return s_removals.load();
}

void NoteFolderTreeRemoval()
{
    ++s_removals;
}

void FreeFolderNode(FolderNode* node)
{
    if (!node) return;
    NoteFolderTreeRemoval();
    FreeFolderList(node->children);
    FreeString(node->name);
    FreeString(node->path);
    HeapFree(GetProcessHeap(), 0, node);
}

void FreeFolderList(FolderNode* first)
{
    // Along the siblings in a loop, so a folder of many thousand entries does not recurse that deep.
    while (first) {
        FolderNode* next = first->next;
        FreeFolderNode(first);
        first = next;
    }
}
