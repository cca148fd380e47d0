#include "FileList.h"

#include <shellapi.h>

#include <memory>
#include <new>

#include "Dpi.h"
#include "FolderTree.h"
#include "StatusLine.h"
#include "TextUtil.h"
#include "resource.h"

namespace {

// Images of g_fileImageList; extension k of g_extensionTable is image k + FIRST_EXTENSION_IMAGE.
enum : int { IMAGE_FOLDER = 0, IMAGE_PLAIN_FILE = 1, FIRST_EXTENSION_IMAGE = 2 };
const int kExtensionTableGrowth = 16;

bool SameExtension(const wchar_t* entry, const wchar_t* extension, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (!entry[i] || FoldAsciiLetter(entry[i]) != FoldAsciiLetter(extension[i])) return false;
    }
    return entry[length] == L'\0';
}

int FindCachedExtension(const ExtensionTable* table, const wchar_t* extension, size_t length)
{
    for (int k = 0; k < table->count; ++k) {
        if (SameExtension(table->entries[k], extension, length)) return k;
    }
    return -1;
}

// A full table grows by a fixed step; running out of memory here ends the process, as the
// image list and the table would no longer agree.
void MakeRoomForExtension(ExtensionTable* table)
{
    if (table->count < table->capacity) return;
    int capacity = table->capacity + kExtensionTableGrowth;
    SIZE_T bytes = static_cast<SIZE_T>(capacity) * sizeof(wchar_t*);
    void* grown = table->entries ? HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, table->entries, bytes)
                                 : HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
    if (!grown) ExitProcess(0);
    table->entries = static_cast<wchar_t**>(grown);
    table->capacity = capacity;
}

// The shell decides by the name alone, at the size of the list's images.
int AddExtensionImage(const wchar_t* name, const wchar_t* extension, size_t length)
{
    ExtensionTable* table = g_extensionTable;
    HIMAGELIST images = g_fileImageList;
    HICON icon = ShellIconOfName(name, FILE_ATTRIBUTE_NORMAL, ImageListIconSize(images));
    if (!icon) return IMAGE_PLAIN_FILE;
    int image = ImageList_ReplaceIcon(images, -1, icon);
    // The image list keeps its own copy of the icon.
    DestroyIcon(icon);
    FATAL_CHECK(image == table->count + FIRST_EXTENSION_IMAGE);
    MakeRoomForExtension(table);
    wchar_t* copy = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, (length + 1) * sizeof(wchar_t)));
    if (!copy) ExitProcess(0);
    wmemcpy(copy, extension, length);
    copy[length] = L'\0';
    table->entries[table->count] = copy;
    table->count += 1;
    return image;
}

int FileImage(const FolderNode* node)
{
    if (node->isFolder) return IMAGE_FOLDER;
    size_t length = 0;
    const wchar_t* extension = FindExtension(node->name, &length);
    if (!extension || !g_extensionTable) return IMAGE_PLAIN_FILE;
    int k = FindCachedExtension(g_extensionTable, extension, length);
    if (k >= 0) return k + FIRST_EXTENSION_IMAGE;
    return AddExtensionImage(node->name, extension, length);
}

// The icon of any file with this extension, asked for by a name made of it.
HICON ExtensionIcon(const wchar_t* extension, int size)
{
    size_t length = wcslen(extension);
    std::unique_ptr<wchar_t[]> name(new (std::nothrow) wchar_t[length + 3]);
    if (!name) return nullptr;
    name[0] = L'a';
    name[1] = L'.';
    wmemcpy(&name[2], extension, length + 1);
    return ShellIconOfName(name.get(), FILE_ATTRIBUTE_NORMAL, size);
}

// "/" for the root, else the names from the location folder down, joined with "/".
wchar_t* DisplayPath(const FolderNode* node)
{
    if (!node->path) return DupString(L"/");
    wchar_t* text = DupString(node->name);
    FATAL_CHECK(text);
    for (const FolderNode* ancestor = node->parent; ancestor && ancestor->path; ancestor = ancestor->parent) {
        wchar_t* joined = JoinDevicePath(ancestor->name, text);
        FreeString(text);
        FATAL_CHECK(joined);
        text = joined;
    }
    return text;
}

// False when the list is gone with its window.
bool AddListItem(HWND list, int index, FolderNode* child)
{
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = index;
    item.pszText = child->name;
    item.iImage = FileImage(child);
    item.lParam = reinterpret_cast<LPARAM>(child);
    LRESULT inserted = SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    if (!ItemAdded(list, inserted == index)) return false;

    LVITEMW size = {};
    size.iSubItem = 1;
    size.pszText = child->isFolder ? nullptr : const_cast<wchar_t*>(FormatSize(child->size));
    SendMessageW(list, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&size));

    // Empty when the device gave no date it could be trusted with.
    OwnedWide modified(FormatFileTime(child->modified));
    if (modified) {
        LVITEMW date = {};
        date.iSubItem = 2;
        date.pszText = modified.get();
        SendMessageW(list, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&date));
    }
    if (index == 0) ListView_SetItemState(list, 0, LVIS_FOCUSED, LVIS_FOCUSED);
    return true;
}

// Set while select-all runs: the list reports the change of every item, and one toolbar refresh
// for all of them is enough. The user-interface thread is the only one that selects.
bool s_selectingAll;

// The list reports the change of every item, 20,000 of them for a click after Ctrl+A, and for a
// click on another item first the empty selection on the way. What follows from a change of the
// selection waits until the input has been handled: one toolbar refresh for the selection as it
// ends up (the button would otherwise flip, and every image a button is given costs a graphics
// object under Wine), and, when the change sweeps many items, one repaint of the list, which
// otherwise draws every item on the way (a round trip each under Wine).
const UINT kSweepItems = 64;
const UINT_PTR kSelectionChangeTimer = 0x5E1C;

struct SelectionChange {
    HWND list;  // null while nothing waits
    bool drawingHeld;
};
SelectionChange s_selectionChange;

void CALLBACK FinishSelectionChange(HWND window, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(window, timer);
    SelectionChange change = s_selectionChange;
    s_selectionChange = {};
    if (change.drawingHeld) {
        SendMessageW(change.list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(change.list, nullptr, TRUE);
    }
    UpdateToolbar();
}

void AfterSelectionChange(UINT selected)
{
    HWND list = g_fileList;
    // A timer comes only once the input that made the change has been handled.
    if (s_selectionChange.list != list) {
        if (!SetTimer(GetParent(list), kSelectionChangeTimer, 0, FinishSelectionChange)) {
            UpdateToolbar();
            return;
        }
        s_selectionChange = {list, false};
    }
    if (!s_selectionChange.drawingHeld && selected >= kSweepItems) {
        s_selectionChange.drawingHeld = true;
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    }
}

}  // namespace

bool FileListHasFocus()
{
    return g_fileList && GetFocus() == g_fileList;
}

void ShowFolderInList(HTREEITEM item, FolderNode* node)
{
    FATAL_CHECK(node && node->isFolder);
    g_currentFolder = node;
    if (!node->listed) LoadFolderChildren(item, node, nullptr);
    HWND list = g_fileList;
    ListView_DeleteAllItems(list);

    OwnedWide path(DisplayPath(node));
    FATAL_CHECK(path);
    SetWindowTextW(MainWindowControl(IDC_PATH_LINE), path.get());

    // One repaint for the whole folder instead of one per item.
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    int index = 0;
    for (FolderNode* child = node->children; child && AddListItem(list, index, child); child = child->next) ++index;
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    UpdateToolbar();
}

void OpenFolderItem(int index)
{
    if (!LocationOpen() || !FileListHasFocus() || ListView_GetSelectedCount(g_fileList) != 1) return;
    LVITEMW data = {};
    data.mask = LVIF_PARAM;
    data.iItem = index;
    if (!SendMessageW(g_fileList, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data))) return;
    FolderNode* folder = reinterpret_cast<FolderNode*>(data.lParam);
    if (!folder || !folder->isFolder) return;

    HWND tree = MainWindowControl(IDC_FOLDER_TREE);
    if (!tree) return;
    HTREEITEM current = CurrentFolderTreeItem(tree);
    if (!current) return;
    if (HTREEITEM child = FindChildTreeItem(tree, current, folder)) TreeView_SelectItem(tree, child);
}

void OpenSelectedItem()
{
    if (!LocationOpen() || !FileListHasFocus() || ListView_GetSelectedCount(g_fileList) != 1) return;
    int index = 0;
    if (!(ListView_GetItemState(g_fileList, 0, LVIS_SELECTED) & LVIS_SELECTED)) {
        index = ListView_GetNextItem(g_fileList, 0, LVNI_SELECTED);
    }
    if (index >= 0) OpenFolderItem(index);
}

void GoUpOneLevel()
{
    FolderNode* current = g_currentFolder.load();
    if (!LocationOpen() || !current || current == g_rootFolder.load() || !current->parent) return;
    HWND tree = MainWindowControl(IDC_FOLDER_TREE);
    if (!tree) return;
    HTREEITEM selected = TreeView_GetSelection(tree);
    HTREEITEM parent = selected ? TreeView_GetParent(tree, selected) : nullptr;
    bool ok = false;
    FolderNode* node = TreeItemNode(tree, parent, &ok);
    if (ok && node == current->parent) TreeView_SelectItem(tree, parent);
}

void GoUpFromKeyboard()
{
    if (!LocationOpen() || g_currentFolder.load() == g_rootFolder.load() || !FileListHasFocus()) return;
    GoUpOneLevel();
}

void SelectAllItems()
{
    if (!LocationOpen() || !FileListHasFocus()) return;
    // Every item at once, the focus left where it is, and one repaint and one refresh for all.
    s_selectingAll = true;
    SendMessageW(g_fileList, WM_SETREDRAW, FALSE, 0);
    ListView_SetItemState(g_fileList, -1, LVIS_SELECTED, LVIS_SELECTED);
    SendMessageW(g_fileList, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(g_fileList, nullptr, TRUE);
    s_selectingAll = false;
    UpdateToolbar();
}

void OnFileListItemChanged(const NMLISTVIEW* change)
{
    if (s_selectingAll) return;
    bool selectionChanged = change->iItem < 0 || ((change->uChanged & LVIF_STATE) &&
                                                  ((change->uOldState ^ change->uNewState) & LVIS_SELECTED));
    if (selectionChanged) AfterSelectionChange(ListView_GetSelectedCount(g_fileList));
}

bool AddExtensionImages(HIMAGELIST list, int size)
{
    const ExtensionTable* table = g_extensionTable;
    for (int k = 0; table && k < table->count; ++k) {
        HICON icon = ExtensionIcon(table->entries[k], size);
        // An extension the shell has no icon for any more keeps its place with the plain file's.
        if (!icon) icon = ImageList_GetIcon(list, IMAGE_PLAIN_FILE, ILD_NORMAL);
        int image = icon ? ImageList_ReplaceIcon(list, -1, icon) : -1;
        if (icon) DestroyIcon(icon);
        if (image != k + FIRST_EXTENSION_IMAGE) return false;
    }
    return true;
}
