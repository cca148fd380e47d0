#include "FileOperations.h"

#include <cwchar>

#include "DeviceFiles.h"
#include "Devices.h"
#include "DragObjects.h"
#include "FileList.h"
#include "FolderTree.h"
#include "PlaceSnapshot.h"
#include "StatusLine.h"
#include "TextUtil.h"
#include "TransferDialogs.h"
#include "UserMessages.h"
#include "resource.h"

namespace {

const wchar_t kUntitledFolder[] = L"untitled folder";
const wchar_t kDeletingPrefix[] = L"Deleting: ";
// Paint messages served at one stop of a deletion: enough for every window of the thread, and a
// bound should a window never validate what it was asked to paint.
const int kPaintMessagesPerStop = 64;

HWND FolderTreeControl()
{
    return MainWindowControl(IDC_FOLDER_TREE);
}

// The folder an operation works in, and its connection, as they were when the operation began. A
// message loop on the way (a message box, the painting during a deletion) also serves the device
// notice thread: the operation goes on only while the window still shows the same location and
// folder.
struct WorkingFolder {
    PlaceSnapshot place;
    AFCConnectionRef afc;

    static WorkingFolder Current() { return {PlaceSnapshot::Take(), CurrentConnection()}; }
    bool StillShown() const { return place.SameFolder(); }
};

// One of the two locations below the root (or the root itself): never renamed here.
bool IsLocationFolder(const FolderNode* node)
{
    return !node->parent || !node->parent->path || wcslen(node->path) < 3;
}

void WarnInvalidName()
{
    ShowWarning(L"Invalid file name", L"Error");
}

void WarnCantRename()
{
    ShowWarning(L"Can't rename this item", L"Error");
}

FolderNode* ListItemNode(int index, bool* ok)
{
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    *ok = SendMessageW(g_fileList, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) != FALSE;
    return *ok ? reinterpret_cast<FolderNode*>(item.lParam) : nullptr;
}

int FirstSelectedListItem()
{
    if (ListView_GetItemState(g_fileList, 0, LVIS_SELECTED) & LVIS_SELECTED) return 0;
    return ListView_GetNextItem(g_fileList, 0, LVNI_SELECTED);
}

void SetTreeItemText(HWND tree, HTREEITEM item, wchar_t* text)
{
    TVITEMW data = {};
    data.mask = TVIF_TEXT;
    data.hItem = item;
    data.pszText = text;
    SendMessageW(tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&data));
}

// Lists the folder afresh: its tree items and the file list are made again from the device.
void ReloadFolder(HTREEITEM item, FolderNode* folder)
{
    UnloadFolderChildren(nullptr, folder);
    ShowFolderInList(item, folder);
}

// The device path of a node's location path and its UTF-8 form; false when either cannot be made
// or is empty.
bool MakeDevicePath(const wchar_t* locationPath, OwnedWide& devicePath, OwnedUtf8& devicePathUtf8)
{
    devicePath.reset(ResolveDevicePath(locationPath));
    if (!devicePath || !devicePath.get()[0]) return false;
    devicePathUtf8.reset(DeviceTextToUtf8(devicePath.get()));
    return devicePathUtf8 && devicePathUtf8.get()[0];
}

// --- New folder ----------------------------------------------------------------------------------

struct FolderCandidate {
    wchar_t name[64];
    OwnedUtf8 devicePathUtf8;
};

// The first of "untitled folder", "untitled folder 2", 3, ... that names no folder in the device
// folder (a file of that name does not make it taken). False when a path cannot be made.
bool FindFreeFolderName(AFCConnectionRef afc, const wchar_t* folderDevicePath, FolderCandidate& candidate)
{
    for (unsigned counter = 1;; ++counter) {
        if (counter == 1) {
            wcscpy(candidate.name, kUntitledFolder);
        } else {
            swprintf(candidate.name, sizeof candidate.name / sizeof candidate.name[0], L"%ls %u", kUntitledFolder,
                     counter);
        }
        OwnedWide path(JoinDevicePath(folderDevicePath, candidate.name));
        if (!path) return false;
        candidate.devicePathUtf8.reset(DeviceTextToUtf8(path.get()));
        if (!candidate.devicePathUtf8) return false;
        // Taken for free when no folder opens: making it fails should anything be there after all.
        if (!DeviceFolderOpens(afc, candidate.devicePathUtf8.get())) return true;
    }
}

// The list index of the folder's child with exactly this name, or -1.
int ChildIndex(const FolderNode* folder, const wchar_t* name, const FolderNode** found)
{
    int index = 0;
    for (const FolderNode* child = folder->children; child; child = child->next, ++index) {
        if (wcscmp(child->name, name) == 0) {
            *found = child;
            return index;
        }
    }
    return -1;
}

void BeginListLabelEdit(int index)
{
    SetFocus(g_fileList);
    ListView_SetItemState(g_fileList, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(g_fileList, index, FALSE);
    SendMessageW(g_fileList, LVM_EDITLABELW, index, 0);
}

// --- Delete --------------------------------------------------------------------------------------

bool ConfirmDelete(UINT count)
{
    wchar_t text[256];
    if (count == 1) {
        wcscpy(text, L"You are about to delete 1 file/folder from your iPhone / iPod touch.\nThis can't be undone.\n"
                     L"Are you sure you want to delete selected file/folder?");
    } else {
        swprintf(text, sizeof text / sizeof text[0],
                 L"You are about to delete %u files/folders from your iPhone / iPod touch.\nThis can't be undone.\n"
                 L"Are you sure you want to delete selected files/folders?",
                 count);
    }
    UINT style = MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2;
    return MessageBoxW(g_mainWindow.load(), text, L"Delete confirmation", style) == IDOK;
}

// "Deleting: " and the name, or null when memory runs out (the line then keeps its last text).
OwnedWide DeletingText(const wchar_t* name)
{
    size_t prefixLength = wcslen(kDeletingPrefix);
    size_t nameLength = wcslen(name);
    void* memory = HeapAlloc(GetProcessHeap(), 0, (prefixLength + nameLength + 1) * sizeof(wchar_t));
    if (!memory) return OwnedWide();
    wchar_t* text = static_cast<wchar_t*>(memory);
    wmemcpy(text, kDeletingPrefix, prefixLength);
    wmemcpy(text + prefixLength, name, nameLength + 1);
    return OwnedWide(text);
}

// Lets the deleting dialog and the windows behind it repaint during a long deletion. Only paint
// messages are taken from the queue: clicks and keys wait until the deletion is over.
void ServePaintMessages()
{
    MSG message;
    for (int served = 0; served < kPaintMessagesPerStop; ++served) {
        if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT)) break;
        DispatchMessageW(&message);
    }
}

EntryKind KindOf(const FolderNode* node)
{
    if (node->isLink) return EntryKind::Link;
    return node->isFolder ? EntryKind::Folder : EntryKind::File;
}

// The device is read afresh: what it holds now is removed, an entry made since the folder was
// listed too.
bool DeleteTree(FolderNode* node, HWND text, const WorkingFolder& where)
{
    FATAL_CHECK(node && node->path);
    OwnedWide devicePath;
    OwnedUtf8 devicePathUtf8;
    FATAL_CHECK(MakeDevicePath(node->path, devicePath, devicePathUtf8));
    return RemoveDeviceItem(where.afc, devicePath.get(), KindOf(node), OnFailure::Stop, [&](const wchar_t* name) {
        if (OwnedWide line = DeletingText(name)) SetWindowTextW(text, line.get());
        ServePaintMessages();
        // Painting also served the notice thread: the location may be gone, and the connection with it.
        return where.StillShown();
    });
}

void WarnNameTaken()
{
    ShowWarning(L"File/folder with the same name already exists", L"Can't rename file/folder");
}

// Whether another item holds the new name in the node's folder, asked of the device just before the
// rename (which would replace that item): the listing may be old, and the device may take a name
// for a sibling's that differs from it, in letter case say.
EntryState NewNameState(const FolderNode* node, const wchar_t* folderDevicePath, const wchar_t* newName)
{
    // The name as the device has it (the path keeps its bytes; the shown name may not).
    const wchar_t* ownName = LastDevicePathElement(node->path);
    FolderProbe probe(CurrentConnection(), folderDevicePath);
    EntryState state = probe.Probe(newName, ownName);
    // Found: the item itself under a name the device's lookup takes for its own (in other letter
    // cases, or composed otherwise), unless the device also lists that exact name.
    if (state != EntryState::Present || !(SameButForCase(newName, ownName) || SameDeviceName(newName, ownName))) {
        return state;
    }
    bool readable = false;
    bool listed = probe.ListsExactly(newName, &readable);
    if (!readable) return EntryState::Unknown;
    return listed ? EntryState::Present : EntryState::Absent;
}

}  // namespace

bool RenameRefusedNow()
{
    // A rename lists the folder again under its new name and frees the nodes below it, which a
    // transfer may be copying into or out of: it waits, as every other command does.
    if (TransferIdle()) return false;
    MessageBeep(MB_ICONWARNING);
    return true;
}

void CreateNewFolder()
{
    FolderNode* folder = g_currentFolder.load();
    AFCConnectionRef afc = CurrentConnection();
    if (!LocationOpen() || !folder) return;
    HTREEITEM item = CurrentFolderTreeItem(FolderTreeControl());
    if (!item || !folder->isFolder || !folder->listed || !folder->path) return;
    OwnedWide devicePath(ResolveDevicePath(folder->path));
    if (!devicePath) return;

    FolderCandidate candidate;
    if (!FindFreeFolderName(afc, devicePath.get(), candidate)) return;
    if (g_lib.AFCDirectoryCreate(afc, candidate.devicePathUtf8.get()) != 0) {
        ShowError(L"For some reason creating new folder failed.", L"Error creating new folder");
        return;
    }
    ReloadFolder(item, folder);
    const FolderNode* created = nullptr;
    int index = ChildIndex(folder, candidate.name, &created);
    if (index < 0 || !created->isFolder) return;
    // The user names the folder at once; the edit ends in RenameListItem.
    BeginListLabelEdit(index);
}

bool RenameNode(FolderNode* node, const wchar_t* newName)
{
    if (!node || !node->path || !newName || wcscmp(newName, node->name) == 0) return false;
    FolderNode* parent = node->parent;
    if (!parent || !parent->isFolder || !parent->listed || !parent->path) return false;
    FATAL_CHECK(parent->children);
    for (const FolderNode* sibling = parent->children; sibling; sibling = sibling->next) {
        if (sibling != node && SameDeviceName(sibling->name, newName)) {
            WarnNameTaken();
            return false;
        }
    }
    OwnedWide oldDevicePath;
    OwnedUtf8 oldDevicePathUtf8;
    if (!MakeDevicePath(node->path, oldDevicePath, oldDevicePathUtf8)) return false;
    OwnedWide folderDevicePath(ResolveDevicePath(parent->path));
    switch (NewNameState(node, folderDevicePath.get(), newName)) {
    case EntryState::Present:
        WarnNameTaken();
        return false;
    case EntryState::Unknown:
        // Nothing is renamed, as when the device refuses.
        return false;
    case EntryState::Absent:
        break;
    }

    OwnedWide name(DupString(newName));
    FATAL_CHECK(name && name.get()[0]);
    OwnedWide path(JoinDevicePath(parent->path, newName));
    if (!path) return false;
    OwnedWide newDevicePath;
    OwnedUtf8 newDevicePathUtf8;
    FATAL_CHECK(MakeDevicePath(path.get(), newDevicePath, newDevicePathUtf8));

    // The node keeps its name and path until the device has the new ones: a refused rename must
    // leave it addressing the item that is still there.
    AFCConnectionRef afc = CurrentConnection();
    if (!afc || g_lib.AFCRenamePath(afc, oldDevicePathUtf8.get(), newDevicePathUtf8.get()) != 0) return false;
    FreeString(node->name);
    FreeString(node->path);
    node->name = name.release();
    node->path = path.release();
    return true;
}

void RenameTreeFolder(HTREEITEM item, FolderNode* node, const wchar_t* text)
{
    HWND tree = FolderTreeControl();
    if (!LocationOpen() || !g_rootFolder.load() || !tree || !item || !node || !node->path || !text) return;
    if (RenameRefusedNow()) return;
    // Before the comparison: ending an edit of a location folder warns even with the text unchanged.
    if (IsLocationFolder(node)) {
        WarnCantRename();
        return;
    }
    if (wcscmp(text, node->name) == 0) return;
    if (node != g_currentFolder.load()) {
        ShowWarning(L"Unknown error when renaming folder", L"Error");
        return;
    }
    if (!IsUsableName(text)) {
        WarnInvalidName();
        return;
    }
    if (RenameNode(node, text)) {
        SetTreeItemText(tree, item, node->name);
        // What was read below the folder carries the old paths: it is read again under the new name.
        bool expanded = (TreeView_GetItemState(tree, item, TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
        ReloadFolder(item, node);
        if (expanded) TreeView_Expand(tree, item, TVE_EXPAND);
    }
    UpdateToolbar();
}

void RenameListItem(int index, const wchar_t* text)
{
    FolderNode* folder = g_currentFolder.load();
    HWND tree = FolderTreeControl();
    if (!LocationOpen() || !g_rootFolder.load() || !folder || !tree || !text) return;
    if (RenameRefusedNow()) return;
    if (!IsUsableName(text)) {
        WarnInvalidName();
        return;
    }
    bool ok = false;
    FolderNode* node = ListItemNode(index, &ok);
    if (!ok || !node || !node->path || node->parent != folder) return;
    if (IsLocationFolder(node)) {
        WarnCantRename();
        return;
    }
    HTREEITEM current = CurrentFolderTreeItem(tree);
    if (!current) return;
    HTREEITEM folderItem = nullptr;
    if (node->isFolder) {
        folderItem = FindChildTreeItem(tree, current, node);
        if (!folderItem) return;
    }
    if (RenameNode(node, text)) {
        if (folderItem) {
            SetTreeItemText(tree, folderItem, node->name);
            // Read again under the new name when it is next opened.
            if (node->listed) UnloadFolderChildren(folderItem, node);
        }
        LVITEMW label = {};
        label.iSubItem = 0;
        label.pszText = node->name;
        SendMessageW(g_fileList, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&label));
    }
    UpdateToolbar();
}

bool DeleteNodeTree(FolderNode* node, HWND text)
{
    return DeleteTree(node, text, WorkingFolder::Current());
}

void DeleteSelectedItems()
{
    WorkingFolder where = WorkingFolder::Current();
    if (!LocationOpen() || !where.place.folder) return;
    HTREEITEM item = CurrentFolderTreeItem(FolderTreeControl());
    UINT count = ListView_GetSelectedCount(g_fileList);
    if (!item || count == 0) return;
    if (!ConfirmDelete(count) || !where.StillShown()) return;

    HWND dialog = CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_DELETING), g_mainWindow.load(),
                                     DeletingDialogProc, 0);
    FATAL_CHECK(dialog);
    HWND text = GetDlgItem(dialog, IDC_DELETING_TEXT);
    FATAL_CHECK(text);
    ShowWindow(dialog, SW_SHOW);
    bool failed = false;
    UINT deleted = 0;
    for (int index = FirstSelectedListItem(); index >= 0;
         index = ListView_GetNextItem(g_fileList, index, LVNI_SELECTED)) {
        bool ok = false;
        FolderNode* node = ListItemNode(index, &ok);
        FATAL_CHECK(ok && node && node->path);
        FATAL_CHECK(node->parent == where.place.folder);
        if (!DeleteTree(node, text, where)) {
            failed = true;
            break;
        }
        ++deleted;
    }
    DestroyWindow(dialog);
    // The location closed during the deletion: its nodes are gone, and whatever replaced it is shown.
    if (!where.StillShown()) return;
    if (deleted != count) failed = true;
    ReloadFolder(item, where.place.folder);
    RefreshDiskSpace();
    if (failed) ShowWarning(L"For some reason deleting operation failed", L"Unexpected error");
}

void RefreshLocation()
{
    DeviceEntry* device = g_currentDevice.load();
    if (!device || !device->afc || device->openLocation == EDITION_NONE) return;
    // What this program does meanwhile checks its identities itself; another program's read cannot.
    if (CloseRefusedForReaders()) return;
    AppEdition code = device->openLocation;
    OpenLocation(EDITION_NONE);
    OpenLocation(code);
}
