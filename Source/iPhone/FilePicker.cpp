#include "FilePicker.h"

#include <windows.h>
#include <shobjidl.h>

#include <new>

#include "iPhone.h"

namespace {

template <class Interface> struct Releasing {
    Interface* object = nullptr;
    ~Releasing()
    {
        if (object) object->Release();
    }
};

struct PickerKind {
    const wchar_t* title;
    const wchar_t* okLabel;  // null: the dialog's own
    FILEOPENDIALOGOPTIONS options;
};

PickerKind KindOf(PickWhat what)
{
    const FILEOPENDIALOGOPTIONS common = FOS_FORCEFILESYSTEM | FOS_NOCHANGEDIR | FOS_PATHMUSTEXIST;
    switch (what) {
    case PickWhat::Files:
        return {L"Add files", L"Add", common | FOS_ALLOWMULTISELECT | FOS_FILEMUSTEXIST};
    case PickWhat::Folders:
        return {L"Add folder", L"Add", common | FOS_ALLOWMULTISELECT | FOS_PICKFOLDERS};
    default:
        return {L"Save to", L"Save here", common | FOS_PICKFOLDERS};
    }
}

void AddPath(IShellItem* item, std::vector<std::wstring>& paths)
{
    wchar_t* path = nullptr;
    if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path)) && path && path[0]) paths.emplace_back(path);
    CoTaskMemFree(path);
}

}  // namespace

std::vector<std::wstring> PickLocalItems(PickWhat what)
{
    std::vector<std::wstring> paths;
    Releasing<IFileOpenDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                                reinterpret_cast<void**>(&dialog.object)))) {
        return paths;
    }
    PickerKind kind = KindOf(what);
    FILEOPENDIALOGOPTIONS options = 0;
    dialog.object->GetOptions(&options);
    dialog.object->SetOptions(options | kind.options);
    dialog.object->SetTitle(kind.title);
    dialog.object->SetOkButtonLabel(kind.okLabel);
    if (FAILED(dialog.object->Show(g_mainWindow.load()))) return paths;
    Releasing<IShellItemArray> chosen;
    DWORD count = 0;
    if (FAILED(dialog.object->GetResults(&chosen.object)) || FAILED(chosen.object->GetCount(&count))) return paths;
    try {
        for (DWORD i = 0; i < count; ++i) {
            Releasing<IShellItem> item;
            if (SUCCEEDED(chosen.object->GetItemAt(i, &item.object))) AddPath(item.object, paths);
        }
    } catch (const std::bad_alloc&) {
        paths.clear();
    }
    return paths;
}
