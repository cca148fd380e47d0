#include "DragOut.h"

#include "DragObjects.h"
#include "FolderTree.h"

namespace {

// Both begin-drag handlers start nothing unless a location is open and the transfer is idle: no
// upload is prepared or runs, and no earlier drag out is still open (its target may still be
// extracting, or still reading a file).
bool CanStartDragOut()
{
    return LocationOpen() && TransferIdle();
}

void AbandonListDrag()
{
    FreeTransferList();
    AbandonDragOut();
}

// The device folder the items of `folder` come from: "/" for the root, which shows the locations.
wchar_t* SourceFolderOf(const FolderNode* folder)
{
    return folder->path ? ResolveDevicePath(folder->path) : DupString(L"/");
}

}  // namespace

const wchar_t* LocationDisplayName(const wchar_t* path)
{
    if (!path) return nullptr;
    if (wcscmp(path, L"0") == 0) return L"My Documents";
    if (wcscmp(path, L"2") == 0) return L"Downloads";
    return nullptr;
}

void AppendDragItem(const wchar_t* path)
{
    auto* item = static_cast<TransferItem*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TransferItem)));
    FATAL_CHECK(item != nullptr);
    item->devicePath = ResolveDevicePath(path);
    FATAL_CHECK(item->devicePath != nullptr);
    if (const wchar_t* name = LocationDisplayName(path)) {
        item->displayName = DupString(name);
        FATAL_CHECK(item->displayName != nullptr);
    }
    AppendTransferItem(item);
}

void BeginTreeDrag(const NMTREEVIEWW* notice)
{
    if (!notice || !CanStartDragOut()) return;
    const FolderNode* node = reinterpret_cast<const FolderNode*>(notice->itemNew.lParam);
    if (!node || node == g_rootFolder.load() || !node->parent || !node->path) return;
    if (!OpenDragOutFrom(SourceFolderOf(node->parent))) return;
    AppendDragItem(node->path);
    RunDragOut();
}

void BeginListDrag()
{
    if (!CanStartDragOut()) return;
    if (!OpenDragOutFrom(SourceFolderOf(g_currentFolder.load()))) return;
    // In list order: the first selected item, then each next one.
    for (int index = ListView_GetNextItem(g_fileList, -1, LVNI_SELECTED); index != -1;
         index = ListView_GetNextItem(g_fileList, index, LVNI_SELECTED)) {
        LVITEMW item = {};
        item.mask = LVIF_PARAM;
        item.iItem = index;
        const FolderNode* entry = ListView_GetItem(g_fileList, &item) ? reinterpret_cast<FolderNode*>(item.lParam)
                                                                      : nullptr;
        if (!entry || !entry->path) {
            AbandonListDrag();
            return;
        }
        AppendDragItem(entry->path);
    }
    if (g_transferList.load()) {
        RunDragOut();
    } else {
        AbandonListDrag();
    }
}

void RunDragOut()
{
    FATAL_CHECK(LocationOpen() && g_transferList.load() && DragOutOpen() && !g_dragDescriptors);
    IDropSource* source = NewDropSource();
    IDataObject* data = NewDeviceDataObject();
    FATAL_CHECK(source && data);
    IDataObjectAsyncCapability* async = nullptr;
    FATAL_CHECK(SUCCEEDED(data->QueryInterface(IID_IDataObjectAsyncCapability, reinterpret_cast<void**>(&async))));
    // The target may extract after the drag loop, while the busy dialog is shown.
    async->SetAsyncMode(VARIANT_TRUE);
    DWORD effect = DROPEFFECT_NONE;
    DoDragDrop(data, source, DROPEFFECT_COPY, &effect);
    BOOL inOperation = FALSE;
    if (FAILED(async->InOperation(&inOperation)) || !inOperation) {
        EndDragOut();
    } else {
        // Kept so that the wait for the target can be given up.
        KeepExtractingData(data);
    }
    async->Release();
    source->Release();
    data->Release();
    FreeTransferList();
}
