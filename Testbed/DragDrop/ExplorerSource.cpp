// ExplorerSource.exe: stands in for Explorer as a drag source of local files.
//
//   ExplorerSource.exe [--log FILE] [--title TITLE] [--place X,Y,W,H] [--text-only] [--clipboard] PATH...
//
// Pressing the left button in its window starts DoDragDrop with a data object that offers CF_HDROP
// (a wide DROPFILES of the PATHs, in order, as given) in an HGLOBAL, and DROPEFFECT_COPY as the
// only effect. With --text-only it offers CF_UNICODETEXT (the paths, one a line) and no CF_HDROP.
// With --clipboard the press puts the data object on the clipboard instead (OleSetClipboard), as
// Explorer's Copy does. Every press makes a new data object. Defaults: title "Explorer Source",
// place 20,20,360,240.
//
// Log (see BedLog.h for the line format; BedDataObject.h for the data object's lines):
//   start         program=ExplorerSource pid= title=
//   drag-start    allowed=1
//   ...           one line per call made on the data object, e.g.
//   query-interface  iid=IMarshal hr=0x80004002
//   get-data      format=CF_HDROP aspect=1 lindex=-1 tymed=0x1 hr=0x00000000 medium=0x1
//   do-drag-drop  hr=0x00040100 effect=1       (DRAGDROP_S_DROP; 0x00040101 is DRAGDROP_S_CANCEL)
//   clipboard-set hr=                          (--clipboard, instead of the drag lines)
//   data-object-freed
//   exit
#include <windows.h>

#include "BedLog.h"
#include "BedProgram.h"
#include "HdropData.h"

namespace {

bed::Arguments g_arguments;

LRESULT CALLBACK SourceWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_LBUTTONDOWN && g_arguments.Has(L"--clipboard")) {
        IDataObject* data = nullptr;
        HRESULT hr = bed::CreateHdropDataObject(g_arguments.Paths(), g_arguments.Has(L"--text-only"), &data);
        if (SUCCEEDED(hr)) {
            hr = OleSetClipboard(data);
            data->Release();
        }
        bed::Log("clipboard-set").Hr("hr", hr);
        return 0;
    }
    if (message == WM_LBUTTONDOWN) {
        bed::DragPaths(g_arguments.Paths(), g_arguments.Has(L"--text-only"));
        return 0;
    }
    return bed::DefaultWindowProc(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    bed::ProgramInfo info = {L"ExplorerSource", L"Explorer Source", {20, 20, 360, 240},
                             {L"--text-only", L"--clipboard"},
                             L"Drag source: press the left button here to drag the files of the command line."};
    HWND window = bed::StartProgram(info, SourceWindowProc, &g_arguments);
    if (!window) return 2;
    return bed::RunProgram(window);
}
