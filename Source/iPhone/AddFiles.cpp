#include "AddFiles.h"

#include <shlobj.h>

#include <string>
#include <vector>

#include "DropTarget.h"
#include "FilePicker.h"
#include "FolderTree.h"
#include "PlaceSnapshot.h"
#include "resource.h"

namespace {

// The paths as a CF_HDROP block, as Explorer lays one out: wide names, each ending in a zero, and
// one zero more. Null when memory runs out.
HGLOBAL MakeFileList(const std::vector<std::wstring>& paths)
{
    size_t units = 1;
    for (const std::wstring& path : paths) units += path.size() + 1;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + units * sizeof(wchar_t));
    auto* head = block ? static_cast<DROPFILES*>(GlobalLock(block)) : nullptr;
    if (!head) {
        if (block) GlobalFree(block);
        return nullptr;
    }
    head->pFiles = sizeof(DROPFILES);
    head->fWide = TRUE;
    auto* name = reinterpret_cast<wchar_t*>(head + 1);
    for (const std::wstring& path : paths) {
        wmemcpy(name, path.c_str(), path.size() + 1);
        name += path.size() + 1;
    }
    GlobalUnlock(block);
    return block;
}

// Uploads the local paths into the current folder.
void UploadLocalPaths(const std::vector<std::wstring>& paths)
{
    FolderNode* folder = g_currentFolder.load();
    HTREEITEM item = CurrentFolderTreeItem(MainWindowControl(IDC_FOLDER_TREE));
    HGLOBAL fileList = paths.empty() ? nullptr : MakeFileList(paths);
    if (!fileList) return;
    UploadFileListInto(fileList, folder, item);
    GlobalFree(fileList);
}

}  // namespace

void AddLocalItems(bool folders)
{
    PlaceSnapshot chosenFrom = PlaceSnapshot::Take();
    std::vector<std::wstring> paths = PickLocalItems(folders ? PickWhat::Folders : PickWhat::Files);
    // The dialog served this thread's messages: the upload goes only where the user chose from.
    if (!chosenFrom.SameFolder()) return;
    UploadLocalPaths(paths);
}
