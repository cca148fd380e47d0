#include "BrowserCommands.h"

#include <commctrl.h>

#include <cwchar>
#include <new>

#include "AddFiles.h"
#include "Clipboard.h"
#include "DragOut.h"
#include "FileList.h"
#include "FileOperations.h"
#include "FolderTree.h"
#include "SaveTo.h"
#include "StatusLine.h"
#include "iPhone.h"
#include "resource.h"

namespace {

bool FromTree(HWND from)
{
    HWND tree = MainWindowControl(IDC_FOLDER_TREE);
    return tree && from == tree;
}

FolderNode* ListNodeAt(int index)
{
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    return index >= 0 && ListView_GetItem(g_fileList, &item) ? reinterpret_cast<FolderNode*>(item.lParam) : nullptr;
}

UINT SelectedCount()
{
    return g_fileList ? ListView_GetSelectedCount(g_fileList) : 0;
}

// The node of the file list's one selected item; null unless exactly one is selected.
FolderNode* SoleSelectedNode(int* index = nullptr)
{
    if (SelectedCount() != 1) return nullptr;
    int selected = ListView_GetNextItem(g_fileList, -1, LVNI_SELECTED);
    if (index) *index = selected;
    return ListNodeAt(selected);
}

// The folder the tree has selected (the one shown), unless it is the root.
FolderNode* TreeFolder()
{
    FolderNode* folder = g_currentFolder.load();
    bool shown = CurrentFolderTreeItem(MainWindowControl(IDC_FOLDER_TREE)) != nullptr;
    return shown && folder && folder != g_rootFolder.load() ? folder : nullptr;
}

// Below a location: the root and the two locations keep their names.
bool Renamable(const FolderNode* node)
{
    return node && node->path && node->parent && node->parent->path && wcslen(node->path) > 2;
}

bool AddItem(const FolderNode* node, DragItems& items)
{
    if (!node || !node->path) return false;
    const wchar_t* shownAs = LocationDisplayName(node->path);
    DragItem item{OwnedWide(ResolveDevicePath(node->path)), OwnedWide(DupString(shownAs))};
    if (!item.devicePath || (shownAs && !item.displayName)) return false;
    items.push_back(std::move(item));
    return true;
}

// The device items a command acts on, as a drag of them would carry them: the file list's
// selection in list order, or the tree's selected folder. False when one cannot be named.
bool CollectItems(HWND from, DragItems& items)
{
    try {
        if (FromTree(from)) return AddItem(TreeFolder(), items);
        for (int index = ListView_GetNextItem(g_fileList, -1, LVNI_SELECTED); index != -1;
             index = ListView_GetNextItem(g_fileList, index, LVNI_SELECTED)) {
            if (!AddItem(ListNodeAt(index), items)) return false;
        }
        return !items.empty();
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CanCopyOut(HWND from)
{
    if (!LocationOpen() || !TransferIdle()) return false;
    return FromTree(from) ? TreeFolder() != nullptr : SelectedCount() > 0;
}

// Files may come into the folder shown: the test of "Create new folder", and no transfer under way.
bool CanAddHere()
{
    return CanCreateFolder() && TransferIdle();
}

void BeginRename(HWND from)
{
    if (FromTree(from)) {
        HWND tree = MainWindowControl(IDC_FOLDER_TREE);
        TreeView_EditLabel(tree, CurrentFolderTreeItem(tree));
        return;
    }
    int index = -1;
    if (!SoleSelectedNode(&index)) return;
    SetFocus(g_fileList);
    ListView_EnsureVisible(g_fileList, index, FALSE);
    ListView_EditLabel(g_fileList, index);
}

void CopyOut(UINT command, HWND from)
{
    DragItems items;
    if (!CollectItems(from, items)) return;
    if (command == IDM_COPY) {
        CopyItemsToClipboard(items);
    } else {
        SaveItemsToChosenFolder(items);
    }
}

}  // namespace

bool BrowserCommandEnabled(UINT command, HWND from)
{
    switch (command) {
    case IDM_OPEN: {
        const FolderNode* node = FromTree(from) ? nullptr : SoleSelectedNode();
        return LocationOpen() && node && node->isFolder;
    }
    case IDM_SAVE_TO:
    case IDM_COPY:
        return CanCopyOut(from);
    case IDM_PASTE:
        return CanAddHere() && ClipboardOffersFiles();
    case IDM_ADD_FILES:
    case IDM_ADD_FOLDER:
        return CanAddHere();
    case IDM_NEW_FOLDER:
        return CanCreateFolder() != 0;
    case IDM_RENAME:
        return LocationOpen() && TransferIdle() && Renamable(FromTree(from) ? TreeFolder() : SoleSelectedNode());
    case IDM_DELETE:
        return !FromTree(from) && CanDelete();
    case IDM_REFRESH:
        return CanRefresh() != 0;
    case IDC_UP:
        return CanGoUp() != 0;
    default:
        return false;
    }
}

bool RunBrowserCommand(UINT command, HWND from)
{
    bool known = command == IDC_UP || (command >= IDM_OPEN && command <= IDM_ADD_FOLDER);
    if (!known || !BrowserCommandEnabled(command, from)) return known;
    switch (command) {
    case IDM_OPEN:
        OpenSelectedItem();
        break;
    case IDM_SAVE_TO:
    case IDM_COPY:
        CopyOut(command, from);
        break;
    case IDM_PASTE:
        PasteFilesFromClipboard();
        break;
    case IDM_ADD_FILES:
    case IDM_ADD_FOLDER:
        AddLocalItems(command == IDM_ADD_FOLDER);
        break;
    case IDM_NEW_FOLDER:
        CreateNewFolder();
        break;
    case IDM_RENAME:
        BeginRename(from);
        break;
    case IDM_DELETE:
        DeleteSelectedItems();
        break;
    case IDM_REFRESH:
        RefreshLocation();
        break;
    default:
        GoUpOneLevel();
        break;
    }
    return true;
}
