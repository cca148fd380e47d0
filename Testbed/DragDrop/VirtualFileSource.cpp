// VirtualFileSource.exe: the bed's minimal source of virtual files, offering what a program that
// drags files out of a device offers: "FileGroupDescriptorW" and "FileContents".
//
//   VirtualFileSource.exe [--log FILE] [--title TITLE] [--place X,Y,W,H] [--sync]
//                         (--folder NAME | --file NAME=PATH)...
//
// Its window is filled by a list view (control id 100) that shows the NAMEs. Dragging any item
// (LVN_BEGINDRAG, as a file manager's list starts a drag) starts DoDragDrop (DROPEFFECT_COPY) with
// a new data object for all the items that offers "FileGroupDescriptorW" (HGLOBAL, lindex -1) and "FileContents" (ISTREAM). The
// descriptors follow the command line's order: --folder gives a folder (FD_ATTRIBUTES |
// FD_PROGRESSUI, FILE_ATTRIBUTE_DIRECTORY), --file a file (FD_ATTRIBUTES | FD_FILESIZE |
// FD_PROGRESSUI, FILE_ATTRIBUTE_NORMAL, the size of PATH) whose contents are the bytes of PATH,
// read through a file stream when "FileContents" is asked for with its index. NAME is the relative
// path the target is asked to create, elements joined with "\", and is passed on unchecked (a
// target must refuse unsafe names itself); a PATH that cannot be opened makes GetData for its
// contents fail. The data object answers IAsyncOperation; its asynchronous mode is on unless
// --sync is given. Defaults: title "Virtual File Source", place 20,300,360,240.
//
// Log (line format in BedLog.h; the data object's lines in BedDataObject.h):
//   start          program=VirtualFileSource pid= title=
//   drag-start     allowed=1
//   ...            the data object's lines: query-get-data, get-data format=FileGroupDescriptorW,
//                  get-data format=FileContents lindex=N, start-operation, end-operation, ...
//   do-drag-drop   hr= effect=
//   after-drag     in-operation=0|1        (asked once DoDragDrop has returned)
//   data-object-freed
//   exit
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shlobj.h>
#include <shldisp.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "BedDataObject.h"
#include "BedDragSource.h"
#include "BedLog.h"
#include "BedNames.h"
#include "BedProgram.h"

namespace {

struct VirtualItem {
    std::wstring name;
    std::wstring path;  // empty for a folder
    bool folder;
};

std::vector<VirtualItem> g_items;
bool g_sync = false;

bool ReadItems(const bed::Arguments& arguments)
{
    for (const auto& option : arguments.options) {
        if (option.first == L"--folder") {
            g_items.push_back({option.second, std::wstring(), true});
        } else if (option.first == L"--file") {
            size_t equals = option.second.find(L'=');
            if (equals == std::wstring::npos) return false;
            g_items.push_back({option.second.substr(0, equals), bed::LocalPath(option.second.substr(equals + 1)), false});
        }
    }
    return true;
}

FILEDESCRIPTORW Describe(const VirtualItem& item)
{
    FILEDESCRIPTORW descriptor = {};
    descriptor.dwFlags = FD_ATTRIBUTES | FD_PROGRESSUI;
    descriptor.dwFileAttributes = item.folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    if (!item.folder) {
        descriptor.dwFlags |= FD_FILESIZE;
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExW(item.path.c_str(), GetFileExInfoStandard, &data)) {
            descriptor.nFileSizeHigh = data.nFileSizeHigh;
            descriptor.nFileSizeLow = data.nFileSizeLow;
        }
    }
    lstrcpynW(descriptor.cFileName, item.name.c_str(), MAX_PATH);
    return descriptor;
}

HRESULT RenderDescriptors(STGMEDIUM* medium)
{
    std::vector<BYTE> bytes(sizeof(UINT) + g_items.size() * sizeof(FILEDESCRIPTORW));
    UINT count = static_cast<UINT>(g_items.size());
    memcpy(bytes.data(), &count, sizeof count);
    for (size_t i = 0; i < g_items.size(); ++i) {
        FILEDESCRIPTORW descriptor = Describe(g_items[i]);
        memcpy(bytes.data() + sizeof(UINT) + i * sizeof descriptor, &descriptor, sizeof descriptor);
    }
    medium->hGlobal = bed::GlobalCopy(bytes.data(), bytes.size());
    if (!medium->hGlobal) return E_OUTOFMEMORY;
    medium->tymed = TYMED_HGLOBAL;
    return S_OK;
}

HRESULT RenderContents(LONG index, STGMEDIUM* medium)
{
    if (index < 0 || static_cast<size_t>(index) >= g_items.size() || g_items[index].folder) return DV_E_LINDEX;
    IStream* stream = nullptr;
    HRESULT hr = SHCreateStreamOnFileEx(g_items[index].path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE,
                                        FILE_ATTRIBUTE_NORMAL, FALSE, nullptr, &stream);
    if (FAILED(hr)) return hr;
    medium->pstm = stream;
    medium->tymed = TYMED_ISTREAM;
    return S_OK;
}

void AskInOperation(IDataObject* data)
{
    IDataObjectAsyncCapability* async = nullptr;
    BOOL inOperation = FALSE;
    if (SUCCEEDED(data->QueryInterface(IID_IDataObjectAsyncCapability, reinterpret_cast<void**>(&async)))) {
        async->InOperation(&inOperation);
        async->Release();
    }
    bed::Log("after-drag").Number("in-operation", inOperation ? 1 : 0);
}

void StartDrag()
{
    bed::DataOffer offer;
    offer.formats.push_back({bed::FileGroupDescriptorFormat(), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});
    offer.formats.push_back({bed::FileContentsFormat(), nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM});
    offer.render = [](const FORMATETC& request, const FORMATETC& offered, STGMEDIUM* medium) {
        if (offered.cfFormat == bed::FileGroupDescriptorFormat()) return RenderDescriptors(medium);
        return RenderContents(request.lindex, medium);
    };
    offer.asyncCapable = true;
    offer.asyncMode = g_sync ? FALSE : TRUE;
    IDataObject* data = nullptr;
    if (FAILED(bed::CreateBedDataObject(offer, &data))) return;
    DWORD effect = DROPEFFECT_NONE;
    bed::RunLoggedDrag(data, DROPEFFECT_COPY, &effect);
    AskInOperation(data);
    data->Release();
}

constexpr int kListId = 100;

void FillList(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS, 0, 0,
                                client.right, client.bottom, window, reinterpret_cast<HMENU>(kListId),
                                GetModuleHandleW(nullptr), nullptr);
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = client.right - 24;
    column.pszText = const_cast<wchar_t*>(L"Name");
    ListView_InsertColumn(list, 0, &column);
    for (size_t i = 0; i < g_items.size(); ++i) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<wchar_t*>(g_items[i].name.c_str());
        ListView_InsertItem(list, &item);
    }
}

LRESULT CALLBACK SourceWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NOTIFY: {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom == kListId && header->code == LVN_BEGINDRAG) StartDrag();
        return 0;
    }
    case WM_SIZE:
        MoveWindow(GetDlgItem(window, kListId), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    }
    return bed::DefaultWindowProc(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    bed::ProgramInfo info = {L"VirtualFileSource", L"Virtual File Source", {20, 300, 360, 240}, {L"--sync"},
                             L"Virtual file source."};
    InitCommonControls();
    bed::Arguments arguments;
    HWND window = bed::StartProgram(info, SourceWindowProc, &arguments);
    if (!window) return 2;
    if (!ReadItems(arguments)) return bed::EndWithUsageError(window, "--file wants NAME=PATH");
    g_sync = arguments.Has(L"--sync");
    FillList(window);
    return bed::RunProgram(window);
}
