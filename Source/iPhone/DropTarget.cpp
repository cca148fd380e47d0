// Dropping files and folders from Explorer onto the folder tree and the file list.
#include "DropTarget.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <cwchar>
#include <new>

#include "ComObject.h"
#include "DeviceFiles.h"
#include "FolderTree.h"
#include "PlaceSnapshot.h"
#include "TextUtil.h"
#include "UploadEngine.h"
#include "iPhone.h"
#include "resource.h"

IDropTarget* g_treeDropTarget;
IDropTarget* g_listDropTarget;

namespace {

FORMATETC FileListFormat()
{
    FORMATETC format = {};
    format.cfFormat = CF_HDROP;
    format.ptd = nullptr;
    format.dwAspect = DVASPECT_CONTENT;
    format.lindex = -1;
    format.tymed = TYMED_HGLOBAL;
    return format;
}

// Another program's data object reaches us through OLE's marshalling, whose proxy answers IMarshal;
// the program's own drag-out data object does not.
bool ComesFromOutside(IDataObject* data)
{
    IMarshal* marshal = nullptr;
    if (!data || FAILED(data->QueryInterface(IID_IMarshal, reinterpret_cast<void**>(&marshal))) || !marshal) {
        return false;
    }
    marshal->Release();
    return true;
}

bool OffersFileList(IDataObject* data)
{
    FORMATETC format = FileListFormat();
    return data->QueryGetData(&format) == S_OK;
}

POINT ClientPoint(HWND control, POINTL screen)
{
    POINT point = {screen.x, screen.y};
    ScreenToClient(control, &point);
    return point;
}

// Any part of an item's row counts, its indent and the space right of its label included.
HTREEITEM TreeItemAt(HWND tree, POINTL screen)
{
    TVHITTESTINFO hit = {};
    hit.pt = ClientPoint(tree, screen);
    return TreeView_HitTest(tree, &hit);
}

FolderNode* TreeItemNode(HWND tree, HTREEITEM item)
{
    TVITEMW data = {};
    data.mask = TVIF_PARAM;
    data.hItem = item;
    FATAL_CHECK(TreeView_GetItem(tree, &data));
    return reinterpret_cast<FolderNode*>(data.lParam);
}

// The list item under the cursor when it is a folder, else -1; `node` gets its folder.
int ListFolderAt(HWND list, POINTL screen, FolderNode** node = nullptr)
{
    LVHITTESTINFO hit = {};
    hit.pt = ClientPoint(list, screen);
    int index = ListView_HitTest(list, &hit);
    if (index < 0) return -1;
    LVITEMW data = {};
    data.mask = LVIF_PARAM;
    data.iItem = index;
    if (!ListView_GetItem(list, &data)) return -1;
    FolderNode* folder = reinterpret_cast<FolderNode*>(data.lParam);
    if (!folder || !folder->isFolder) return -1;
    if (node) *node = folder;
    return index;
}

void SetListHighlight(HWND list, int index, bool on)
{
    if (index >= 0) ListView_SetItemState(list, index, on ? LVIS_DROPHILITED : 0, LVIS_DROPHILITED);
}

void ClearListSelection(HWND list)
{
    if (ListView_GetItemCount(list) <= 0) return;
    ListView_SetItemState(list, 0, 0, LVIS_SELECTED);
    for (int index = ListView_GetNextItem(list, 0, LVNI_SELECTED); index >= 0;
         index = ListView_GetNextItem(list, index, LVNI_SELECTED)) {
        ListView_SetItemState(list, index, 0, LVIS_SELECTED);
    }
}

// The current folder's item in the tree, which is the selected one.
HTREEITEM CurrentFolderItem(HWND tree)
{
    HTREEITEM selected = TreeView_GetSelection(tree);
    FATAL_CHECK(selected);
    FATAL_CHECK(TreeItemNode(tree, selected) == g_currentFolder.load());
    return selected;
}

HTREEITEM ChildItemOf(HWND tree, HTREEITEM parent, const FolderNode* node)
{
    for (HTREEITEM child = TreeView_GetChild(tree, parent); child; child = TreeView_GetNextSibling(tree, child)) {
        if (TreeItemNode(tree, child) == node) return child;
    }
    return nullptr;
}

// One dropped path as an item of the transfer list, unless the drop has to stop at it: its
// outcome message then, 0 otherwise.
UINT AddDroppedPath(HDROP drop, UINT index, const wchar_t* destination, FolderProbe& probe, TransferItem*** tail)
{
    UINT length = DragQueryFileW(drop, index, nullptr, 0);
    auto item = static_cast<TransferItem*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TransferItem)));
    FATAL_CHECK(item);
    item->localPath = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, (length + 1) * sizeof(wchar_t)));
    FATAL_CHECK(item->localPath);
    FATAL_CHECK(DragQueryFileW(drop, index, item->localPath, length + 1) == length);
    // Linked at once, so that every way out releases it with the list.
    **tail = item;
    *tail = &item->next;

    // A separator, "." or ".." would make a device path pointing at the destination or above it.
    const wchar_t* name = LastLocalPathElement(item->localPath);
    if (!IsUsableName(name)) return WMU_COPY_ERROR;
    item->devicePath = JoinDevicePath(destination, name);
    FATAL_CHECK(item->devicePath);
    switch (probe.Probe(name)) {
    case EntryState::Present:
        return WMU_COPY_EXISTS;
    case EntryState::Unknown:
        // Whatever may be there is never written over: the drop stops.
        return WMU_COPY_ERROR;
    case EntryState::Absent:
        break;
    }
    return 0;
}

// The dropped block as the shell lays it out: a DROPFILES head, then the names, each ending in a
// zero, and one more zero after the last, all inside the block. DragQueryFileW trusts that layout;
// a block of another program that breaks it is refused rather than read past its end.
bool IsWellFormedFileList(HGLOBAL block)
{
    SIZE_T size = GlobalSize(block);
    auto head = static_cast<const BYTE*>(GlobalLock(block));
    if (!head) return false;
    DROPFILES layout = {};
    bool ended = false;
    if (size >= sizeof(DROPFILES)) {
        memcpy(&layout, head, sizeof(layout));
        size_t unit = layout.fWide ? sizeof(wchar_t) : 1;
        size_t units = layout.pFiles >= sizeof(DROPFILES) && layout.pFiles < size ? (size - layout.pFiles) / unit : 0;
        bool previousZero = true;  // a zero first is an empty list
        for (size_t i = 0; i < units && !ended; ++i) {
            wchar_t value = 0;
            memcpy(&value, head + layout.pFiles + i * unit, unit);
            ended = value == 0 && previousZero;
            previousZero = value == 0;
        }
    }
    GlobalUnlock(block);
    return ended;
}

// Builds the transfer list from the dropped paths; the outcome message when the drop stops, else 0.
UINT BuildTransferList(HDROP drop, UINT count)
{
    FATAL_CHECK(!g_transferList.load());
    FolderNode* folder = g_dropFolder;
    if (!folder->path) return WMU_CANT_COPY_TO;
    OwnedWide destination(ResolveDevicePath(folder->path));
    FATAL_CHECK(destination);
    FolderProbe probe(CurrentConnection(), destination.get());
    TransferItem* head = nullptr;
    TransferItem** tail = &head;
    UINT outcome = 0;
    for (UINT index = 0; index < count && !outcome; ++index) {
        outcome = AddDroppedPath(drop, index, destination.get(), probe, &tail);
    }
    g_transferList = head;
    return outcome;
}

void StartCopy()
{
    FATAL_CHECK(StartUpload());
}

// Reads the paths of a file list into the transfer list and starts the copy into g_dropFolder; the
// outcome message when it does not start, else 0.
UINT TakeFileList(HGLOBAL block)
{
    HDROP drop = block && IsWellFormedFileList(block) ? static_cast<HDROP>(block) : nullptr;
    UINT count = drop ? DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) : 0;
    UINT outcome = count ? BuildTransferList(drop, count) : WMU_COPY_ERROR;
    if (!outcome) StartCopy();
    return outcome;
}

// Reads the dropped paths into the transfer list and starts the copy; the outcome message when it
// does not start, else 0.
UINT TakeDroppedFiles(IDataObject* data)
{
    FORMATETC format = FileListFormat();
    STGMEDIUM medium = {};
    PlaceSnapshot before = PlaceSnapshot::Take();
    NoteDropAskingSource(true);
    HRESULT got = data->GetData(&format, &medium);
    NoteDropAskingSource(false);
    if (FAILED(got)) return WMU_COPY_ERROR;
    // Asking the other program served this thread's messages: a device notice or a refresh may have
    // closed the location or freed the destination's node meanwhile. The drop then goes nowhere.
    if (!before.SameTree() || !LocationOpen()) {
        g_dropFolder = nullptr;
        g_dropTreeItem = nullptr;
        ReleaseStgMedium(&medium);
        return WMU_CANT_COPY_TO;
    }
    UINT outcome = TakeFileList(medium.tymed == TYMED_HGLOBAL ? medium.hGlobal : nullptr);
    ReleaseStgMedium(&medium);
    return outcome;
}

class DropTarget final : public ComObject<DropTarget, IDropTarget> {
public:
    static DropTarget* Create(HWND window, bool isTree)
    {
        return new (std::nothrow) DropTarget(window, isTree);
    }

    static const QITAB kInterfaces[];

    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD, POINTL point, DWORD* effect) override
    {
        *effect = DROPEFFECT_NONE;
        if (!TransferIdle() || !ComesFromOutside(data) || !LocationOpen() || !OffersFileList(data)) return S_OK;
        if (!dragActive_) {
            if (isTree_) {
                savedTreeItem_ = TreeView_GetSelection(window_);
                if (!savedTreeItem_) return S_OK;
            } else {
                ClearListSelection(window_);
            }
            savedRemovals_ = FolderTreeRemovals();
            dragActive_ = 1;
        }
        ShowHighlight(point);
        *effect = DROPEFFECT_COPY;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL point, DWORD* effect) override
    {
        *effect = DROPEFFECT_NONE;
        if (!dragActive_ || !LocationOpen()) return S_OK;
        ShowHighlight(point);
        // Over a file or blank space too: the drop then goes to the current folder.
        *effect = DROPEFFECT_COPY;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE DragLeave() override
    {
        // The list's selection, cleared on entry, stays cleared.
        EndDrag();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL point, DWORD* effect) override
    {
        *effect = DROPEFFECT_NONE;
        // A copy running, or a location gone since the drag entered: nothing to hand over to.
        if (!TransferIdle() || !LocationOpen()) {
            EndDrag();
            return S_OK;
        }
        UINT outcome = WMU_CANT_COPY_FROM;
        if (ComesFromOutside(data)) {
            outcome = TakeDrop(data, point);
        } else {
            EndDrag();
        }
        if (outcome) {
            FreeTransferList();
            PostMessageW(g_mainWindow.load(), outcome, 0, 0);
            return S_OK;
        }
        *effect = DROPEFFECT_COPY;
        return S_OK;
    }

private:
    DropTarget(HWND window, bool isTree) : window_(window), isTree_(isTree ? 1 : 0) {}

    void EndDrag()
    {
        if (dragActive_) RemoveHighlight();
        ResetDrag();
    }

    void ResetDrag()
    {
        dragActive_ = 0;
        savedTreeItem_ = nullptr;
        hilitedIndex_ = -1;
    }

    void ShowHighlight(POINTL point)
    {
        // The tree was changed under the hovering drag (a device went, or a folder was listed
        // again): the saved item and the highlighted row may be gone.
        if (savedRemovals_ != FolderTreeRemovals()) {
            savedRemovals_ = FolderTreeRemovals();
            savedTreeItem_ = isTree_ ? TreeView_GetSelection(window_) : nullptr;
            hilitedIndex_ = -1;
        }
        if (isTree_) {
            HTREEITEM item = TreeItemAt(window_, point);
            HTREEITEM target = item ? item : savedTreeItem_;
            if (TreeView_GetDropHilight(window_) == target) return;
            // Some tree controls ignore a drop highlight asked for the selected item: the old one is
            // removed first, so that it never stays on a folder the drop would not go to.
            TreeView_SelectDropTarget(window_, nullptr);
            TreeView_SelectDropTarget(window_, target);
            return;
        }
        int index = ListFolderAt(window_, point);
        if (index != hilitedIndex_) {
            SetListHighlight(window_, hilitedIndex_, false);
            SetListHighlight(window_, index, true);
        }
        hilitedIndex_ = index;
    }

    void RemoveHighlight()
    {
        if (isTree_) {
            TreeView_SelectDropTarget(window_, nullptr);
        } else {
            SetListHighlight(window_, hilitedIndex_, false);
        }
    }

    // Decides the destination: the folder under the cursor, else the current folder.
    void ChooseDestination(HWND tree, POINTL point)
    {
        FolderNode* current = g_currentFolder;
        FATAL_CHECK(current);
        g_dropFolder = current;
        g_dropTreeItem = nullptr;
        RemoveHighlight();
        if (isTree_) {
            if (HTREEITEM item = TreeItemAt(tree, point)) {
                if (FolderNode* node = TreeItemNode(tree, item)) {
                    g_dropFolder = node;
                    g_dropTreeItem = item;
                }
            }
        } else {
            FolderNode* node = nullptr;
            if (ListFolderAt(window_, point, &node) >= 0) {
                g_dropFolder = node;
                HTREEITEM item = ChildItemOf(tree, CurrentFolderItem(tree), node);
                FATAL_CHECK(item);
                g_dropTreeItem = item;
            }
        }
        if (!g_dropTreeItem.load()) {
            FATAL_CHECK(g_dropFolder.load() == current);
            g_dropTreeItem = CurrentFolderItem(tree);
        }
        ResetDrag();
    }

    UINT TakeDrop(IDataObject* data, POINTL point)
    {
        HWND tree = MainWindowControl(IDC_FOLDER_TREE);
        FATAL_CHECK(tree);
        ChooseDestination(tree, point);
        return TakeDroppedFiles(data);
    }

    HWND window_;
    int32_t isTree_;
    int32_t dragActive_ = 0;
    HTREEITEM savedTreeItem_ = nullptr;
    uint64_t savedRemovals_ = 0;
    int32_t hilitedIndex_ = -1;
};

const QITAB DropTarget::kInterfaces[] = {QITABENT(DropTarget, IDropTarget), {}};

IDropTarget* RegisterDropTarget(HWND control, bool isTree)
{
    FATAL_CHECK(control);
    IDropTarget* target = DropTarget::Create(control, isTree);
    FATAL_CHECK(target);
    FATAL_CHECK(SUCCEEDED(RegisterDragDrop(control, target)));
    return target;
}

}  // namespace

IDropTarget* NewDropTarget(HWND control, bool isTree)
{
    return DropTarget::Create(control, isTree);
}

void RegisterDropTargets(HWND mainWindow)
{
    g_treeDropTarget = RegisterDropTarget(GetDlgItem(mainWindow, IDC_FOLDER_TREE), true);
    g_listDropTarget = RegisterDropTarget(g_fileList, false);
}

bool UploadFileListInto(HGLOBAL fileList, FolderNode* folder, HTREEITEM item)
{
    if (!TransferIdle() || !LocationOpen() || !folder || !item) return false;
    g_dropFolder = folder;
    g_dropTreeItem = item;
    UINT outcome = TakeFileList(fileList);
    if (!outcome) return true;
    FreeTransferList();
    PostMessageW(g_mainWindow.load(), outcome, 0, 0);
    return false;
}
