// HdropTarget.exe: the bed's minimal drop target for file drags (CF_HDROP), with a same-process
// drag of its own to compare against.
//
//   HdropTarget.exe [--log FILE] [--title TITLE] [--place X,Y,W,H] [PATH...]
//
// The whole window is a drop target that accepts a data object offering CF_HDROP in an HGLOBAL
// (DROPEFFECT_COPY) and refuses any other (DROPEFFECT_NONE). On every DragEnter and Drop it asks
// the data object for IMarshal. The left half of the window is a tree view (control id 100) that
// shows the PATHs (the program's own path when none is given); dragging one of its items
// (TVN_BEGINDRAG) starts a drag of all of them in this process, with the same kind of data object
// as ExplorerSource.exe. Drop on the right half. Defaults: title "Hdrop Target", place
// 420,20,360,240.
//
// Log (line format in BedLog.h):
//   start            program=HdropTarget pid= title=
//   drag-enter       imarshal=0|1 hdrop=0x (QueryGetData's HRESULT for CF_HDROP) effect=
//   drag-leave
//   drop             imarshal=0|1 x= y= (screen)
//   drop-get-data    hr=0x
//   path             index= path=
//   drop-end         count= effect=
//   and, for its own drags, the lines of ExplorerSource.exe's data object and drag loop
//   (drag-start, query-interface, get-data, ..., do-drag-drop).
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "BedDropTarget.h"
#include "BedLog.h"
#include "BedProgram.h"
#include "HdropData.h"

namespace {

bed::Arguments g_arguments;

FORMATETC HdropFormat()
{
    return {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}

DWORD DragEnter(IDataObject* data)
{
    FORMATETC format = HdropFormat();
    HRESULT hr = data->QueryGetData(&format);
    DWORD effect = hr == S_OK ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    bed::Log("drag-enter").Number("imarshal", bed::AnswersIMarshal(data)).Hr("hdrop", hr).Number("effect", effect);
    return effect;
}

DWORD Drop(IDataObject* data, POINTL point)
{
    bed::Log("drop").Number("imarshal", bed::AnswersIMarshal(data)).Number("x", point.x).Number("y", point.y);
    FORMATETC format = HdropFormat();
    STGMEDIUM medium = {};
    HRESULT hr = data->GetData(&format, &medium);
    bed::Log("drop-get-data").Hr("hr", hr);
    if (FAILED(hr)) {
        bed::Log("drop-end").Number("count", 0).Number("effect", DROPEFFECT_NONE);
        return DROPEFFECT_NONE;
    }
    std::vector<std::wstring> paths;
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal) {
        paths = bed::DroppedPaths(static_cast<HDROP>(medium.hGlobal));
    }
    ReleaseStgMedium(&medium);
    for (size_t i = 0; i < paths.size(); ++i) {
        bed::Log("path").Number("index", static_cast<int64_t>(i)).Text("path", paths[i]);
    }
    DWORD effect = paths.empty() ? DROPEFFECT_NONE : DROPEFFECT_COPY;
    bed::Log("drop-end").Number("count", static_cast<int64_t>(paths.size())).Number("effect", effect);
    return effect;
}

constexpr int kTreeId = 100;

std::vector<std::wstring> OwnPaths()
{
    std::vector<std::wstring> paths = g_arguments.Paths();
    if (paths.empty()) {
        wchar_t self[MAX_PATH] = L"";
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        paths.push_back(self);
    }
    return paths;
}

void PlaceTree(HWND window, int width, int height)
{
    MoveWindow(GetDlgItem(window, kTreeId), 0, 0, width / 2, height, TRUE);
}

void FillTree(HWND window)
{
    HWND tree = CreateWindowExW(0, WC_TREEVIEWW, L"", WS_CHILD | WS_VISIBLE | WS_BORDER | TVS_SHOWSELALWAYS, 0, 0, 0, 0,
                                window, reinterpret_cast<HMENU>(kTreeId), GetModuleHandleW(nullptr), nullptr);
    for (const std::wstring& path : OwnPaths()) {
        TVINSERTSTRUCTW insert = {};
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT;
        insert.item.pszText = const_cast<wchar_t*>(path.c_str());
        TreeView_InsertItem(tree, &insert);
    }
    RECT client;
    GetClientRect(window, &client);
    PlaceTree(window, client.right, client.bottom);
}

LRESULT CALLBACK TargetWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NOTIFY: {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom == kTreeId && header->code == TVN_BEGINDRAGW) bed::DragPaths(OwnPaths(), false);
        return 0;
    }
    case WM_SIZE:
        PlaceTree(window, LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_DESTROY:
        RevokeDragDrop(window);
        break;
    }
    return bed::DefaultWindowProc(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    bed::ProgramInfo info = {L"HdropTarget", L"Hdrop Target", {420, 20, 360, 240}, {},
                             L"Drop target for file lists (CF_HDROP)."};
    InitCommonControls();
    HWND window = bed::StartProgram(info, TargetWindowProc, &g_arguments);
    if (!window) return 2;
    FillTree(window);
    bed::DropHandlers handlers;
    DWORD lastEffect = DROPEFFECT_NONE;
    handlers.enter = [&](IDataObject* data, DWORD, POINTL) { return lastEffect = DragEnter(data); };
    handlers.over = [&](DWORD, POINTL) { return lastEffect; };
    handlers.leave = [] { bed::Log("drag-leave"); };
    handlers.drop = [](IDataObject* data, DWORD, POINTL point) { return Drop(data, point); };
    HRESULT hr = bed::RegisterBedDropTarget(window, handlers);
    if (FAILED(hr)) {
        bed::Log("register-drag-drop").Hr("hr", hr);
        DestroyWindow(window);
    }
    return bed::RunProgram(window);
}
