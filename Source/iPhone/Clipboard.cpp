// The clipboard both ways, and the program's copy on it: one at a time, taken off again when what
// it names goes away.
#include "Clipboard.h"

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "DropTarget.h"
#include "FolderTree.h"
#include "UserMessages.h"
#include "resource.h"

namespace {

// The program's copy, one reference of its own, and the thread that put it on the clipboard (the
// only one whose OLE calls may take it off again).
std::atomic<IDataObject*> s_copy{nullptr};
DWORD s_copyThread;

}  // namespace

bool ClipboardOffersFiles()
{
    return IsClipboardFormatAvailable(CF_HDROP) != FALSE;
}

bool IsCurrentClipboardCopy(const IDataObject* data)
{
    return data && s_copy.load() == data;
}

void CopyItemsToClipboard(const DragItems& items)
{
    uint64_t opening = CurrentOpening();
    if (items.empty() || !opening || !TransferIdle()) return;
    std::unique_ptr<DescriptorSet> set(new (std::nothrow) DescriptorSet);
    DescriptorsBuilt built = set ? BuildDescriptorSet(items, *set) : DescriptorsBuilt::Failed;
    // Told already, or stopped by the user.
    if (built == DescriptorsBuilt::TooLong || built == DescriptorsBuilt::Cancelled) return;
    // Told once the copy is on the clipboard: the copy is over then.
    std::vector<std::wstring> leftOut;
    if (set) leftOut.swap(set->leftOutLinks);
    IDataObject* data = built == DescriptorsBuilt::Built ? NewClipboardDataObject(set.release(), opening) : nullptr;
    if (!data) {
        ShowWarning(L"Error happened during copy operation", L"TovarelUSB");
        return;
    }
    WithdrawClipboardCopy();
    // Taken as the program's copy only once the clipboard holds it: emptying the clipboard serves
    // this thread's messages, in which a device change may close the location it names.
    if (FAILED(OleSetClipboard(data))) {
        data->Release();
        ShowWarning(L"Error happened during copy operation", L"TovarelUSB");
        return;
    }
    if (CurrentOpening() != opening) {
        if (OleIsCurrentClipboard(data) == S_OK) OleSetClipboard(nullptr);
        data->Release();
        return;
    }
    s_copyThread = GetCurrentThreadId();
    s_copy = data;
    ShowLeftOutLinks(leftOut);
}

void WithdrawClipboardCopy()
{
    IDataObject* copy = s_copy.exchange(nullptr);
    if (!copy) return;
    // Another program may have put something else there since; that stays.
    if (GetCurrentThreadId() == s_copyThread && OleIsCurrentClipboard(copy) == S_OK) OleSetClipboard(nullptr);
    copy->Release();
}

void PasteFilesFromClipboard()
{
    IDataObject* data = nullptr;
    if (!ClipboardOffersFiles() || FAILED(OleGetClipboard(&data)) || !data) return;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    HRESULT got = data->GetData(&format, &medium);
    data->Release();
    if (FAILED(got)) return;
    // Asking the other program served this thread's messages: the folder is read only now.
    FolderNode* folder = g_currentFolder.load();
    HTREEITEM item = CurrentFolderTreeItem(MainWindowControl(IDC_FOLDER_TREE));
    if (folder && folder->path && medium.tymed == TYMED_HGLOBAL) UploadFileListInto(medium.hGlobal, folder, item);
    ReleaseStgMedium(&medium);
}
