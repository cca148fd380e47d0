// ExplorerTarget.exe: stands in for Explorer as a drop target of virtual files.
//
//   ExplorerTarget.exe --out FOLDER [--mode sync|async|late|refuse] [--delay MS] [--paste]
//                      [--keep-stream] [--log FILE] [--title TITLE] [--place X,Y,W,H]
//
// Its window is a drop target that accepts a data object offering "FileGroupDescriptorW" in an
// HGLOBAL (DROPEFFECT_COPY) and takes the files out as Explorer does: reads the descriptors, makes
// each folder, asks for "FileContents" with each file's index (ISTREAM or HGLOBAL), reads it to the
// end and writes it under FOLDER (made when missing). It never writes outside FOLDER: a name that
// is absolute, has a drive, a "." or ".." element, ":" or a character Windows cannot store is
// logged and skipped (VirtualFileExtract.h). Modes (default sync):
//   sync    everything inside Drop;
//   async   when the data object answers IAsyncOperation and its asynchronous mode is on:
//           StartOperation, the descriptors, return from Drop; DELAY ms later (default 300) the
//           contents, then EndOperation(result, null, effect). Otherwise as sync;
//   late    as async, but the descriptors too are asked for only after Drop has returned;
//   refuse  DragEnter and DragOver answer DROPEFFECT_NONE (so the drag loop normally calls
//           DragLeave, not Drop); a Drop answers DROPEFFECT_NONE and takes nothing.
// While an extraction is pending, new drags are refused. With --paste a press of the left button in
// its window takes the virtual files on the clipboard (OleGetClipboard) and writes them as a
// synchronous drop does, as Explorer's Paste does. With --keep-stream it holds the stream of the
// last file it read (the source's object, across processes) until its window is closed, past the
// end of the drop, as a program that keeps a file's stream open does. Defaults: title "Explorer
// Target", place 420,300,360,240.
//
// Log (line format in BedLog.h):
//   start            program=ExplorerTarget pid= title=
//   drag-enter       imarshal=0|1 descriptors=0x contents=0x (QueryGetData's HRESULTs) allowed= effect=
//   drag-over        effect= x= y=            (the first DragOver after each DragEnter)
//   drag-leave
//   drop             mode= allowed= x= y=
//   async-capability hr=0x                     (async, late: QueryInterface for IAsyncOperation)
//   get-async-mode   hr=0x value=0|1
//   async-off                                  (taken synchronously instead)
//   start-operation  hr=0x
//   get-descriptors, descriptor, skipped, folder, get-contents, file, extract-end
//                                              (VirtualFileExtract.h)
//   drop-end         effect= [extraction=later]   (Drop returns)
//   end-operation    hr=0x result=0x effect=
//   finished         hr=0x effect=            (last line of every Drop, synchronous or not)
//   paste            hr=0x                     (--paste: OleGetClipboard's; then as a synchronous
//                                              drop, up to its "finished")
//   release-stream                             (--keep-stream: the kept stream released, on close)
//   exit
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>
#include <shldisp.h>

#include <string>
#include <vector>

#include "BedDropTarget.h"
#include "BedLog.h"
#include "BedNames.h"
#include "BedProgram.h"
#include "VirtualFileExtract.h"

namespace {

enum class Mode { Sync, Async, Late, Refuse };

constexpr UINT_PTR kExtractTimer = 1;

struct TargetState {
    HWND window = nullptr;
    Mode mode = Mode::Sync;
    std::wstring modeName;
    UINT delayMs = 300;
    std::wstring outFolder;
    DWORD dragEffect = DROPEFFECT_NONE;
    bool overLogged = false;
    // The extraction that runs after Drop has returned (async, late).
    IDataObject* pendingData = nullptr;
    IDataObjectAsyncCapability* pendingAsync = nullptr;
    std::vector<FILEDESCRIPTORW> pendingDescriptors;
    HRESULT pendingRead = S_OK;  // what reading the descriptors gave
    bool paste = false;          // a press takes the clipboard's files
    bool keepStream = false;
    IStream* keptStream = nullptr;  // the last file's stream, with --keep-stream
};

TargetState g_state;

bool ParseMode(const std::wstring& name, Mode* mode)
{
    const struct {
        const wchar_t* name;
        Mode mode;
    } kModes[] = {{L"sync", Mode::Sync}, {L"async", Mode::Async}, {L"late", Mode::Late}, {L"refuse", Mode::Refuse}};
    for (const auto& known : kModes) {
        if (name == known.name) {
            *mode = known.mode;
            return true;
        }
    }
    return false;
}

HRESULT QueryFormat(IDataObject* data, CLIPFORMAT format, DWORD tymed)
{
    FORMATETC request = {format, nullptr, DVASPECT_CONTENT, -1, tymed};
    return data->QueryGetData(&request);
}

DWORD DragEnter(IDataObject* data, DWORD allowed)
{
    HRESULT descriptors = QueryFormat(data, bed::FileGroupDescriptorFormat(), TYMED_HGLOBAL);
    HRESULT contents = QueryFormat(data, bed::FileContentsFormat(), TYMED_ISTREAM | TYMED_HGLOBAL);
    bool accept = g_state.mode != Mode::Refuse && descriptors == S_OK && (allowed & DROPEFFECT_COPY) &&
                  !g_state.pendingData;
    g_state.dragEffect = accept ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    g_state.overLogged = false;
    bed::Log("drag-enter")
        .Number("imarshal", bed::AnswersIMarshal(data))
        .Hr("descriptors", descriptors)
        .Hr("contents", contents)
        .Number("allowed", allowed)
        .Number("effect", g_state.dragEffect);
    return g_state.dragEffect;
}

DWORD DragOver(POINTL point)
{
    if (!g_state.overLogged) {
        bed::Log("drag-over").Number("effect", g_state.dragEffect).Number("x", point.x).Number("y", point.y);
        g_state.overLogged = true;
    }
    return g_state.dragEffect;
}

// A drop copies once its descriptors could be read, even when some items then failed or were
// skipped (their lines say so).
DWORD EffectOf(HRESULT descriptorsRead)
{
    return SUCCEEDED(descriptorsRead) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
}

DWORD Finish(HRESULT descriptorsRead, HRESULT hr)
{
    DWORD effect = EffectOf(descriptorsRead);
    bed::Log("finished").Hr("hr", hr).Number("effect", effect);
    return effect;
}

IStream** KeptStream()
{
    return g_state.keepStream ? &g_state.keptStream : nullptr;
}

DWORD ExtractNow(IDataObject* data)
{
    std::vector<FILEDESCRIPTORW> descriptors;
    HRESULT read = bed::ReadDescriptors(data, &descriptors);
    HRESULT hr = SUCCEEDED(read) ? bed::ExtractFiles(data, descriptors, g_state.outFolder, KeptStream()) : read;
    return Finish(read, hr);
}

// Starts an asynchronous extraction; false when the data object does not take part in one.
bool StartLater(IDataObject* data)
{
    IDataObjectAsyncCapability* async = nullptr;
    HRESULT hr = data->QueryInterface(IID_IDataObjectAsyncCapability, reinterpret_cast<void**>(&async));
    bed::Log("async-capability").Hr("hr", hr);
    if (FAILED(hr) || !async) return false;
    BOOL on = FALSE;
    hr = async->GetAsyncMode(&on);
    bed::Log("get-async-mode").Hr("hr", hr).Number("value", on ? 1 : 0);
    if (SUCCEEDED(hr) && on) {
        hr = async->StartOperation(nullptr);
        bed::Log("start-operation").Hr("hr", hr);
        if (SUCCEEDED(hr)) {
            if (g_state.mode == Mode::Async) {
                g_state.pendingRead = bed::ReadDescriptors(data, &g_state.pendingDescriptors);
            }
            if (g_state.mode == Mode::Late) g_state.pendingRead = S_OK;
            data->AddRef();
            g_state.pendingData = data;
            g_state.pendingAsync = async;
            SetTimer(g_state.window, kExtractTimer, g_state.delayMs, nullptr);
            return true;
        }
    }
    async->Release();
    return false;
}

DWORD Drop(IDataObject* data, DWORD allowed, POINTL point)
{
    bed::Log("drop").Text("mode", g_state.modeName).Number("allowed", allowed).Number("x", point.x).Number("y", point.y);
    if (g_state.dragEffect == DROPEFFECT_NONE) {
        bed::Log("drop-end").Number("effect", DROPEFFECT_NONE);
        return DROPEFFECT_NONE;
    }
    if (g_state.mode != Mode::Sync) {
        if (StartLater(data)) {
            bed::Log("drop-end").Number("effect", DROPEFFECT_COPY).Text("extraction", "later");
            return DROPEFFECT_COPY;
        }
        bed::Log("async-off");
    }
    DWORD effect = ExtractNow(data);
    bed::Log("drop-end").Number("effect", effect);
    return effect;
}

void EndPending(HRESULT hr)
{
    DWORD effect = EffectOf(g_state.pendingRead);
    HRESULT ended = g_state.pendingAsync->EndOperation(hr, nullptr, effect);
    bed::Log("end-operation").Hr("hr", ended).Hr("result", hr).Number("effect", effect);
    g_state.pendingAsync->Release();
    g_state.pendingData->Release();
    g_state.pendingAsync = nullptr;
    g_state.pendingData = nullptr;
    g_state.pendingDescriptors.clear();
    Finish(g_state.pendingRead, hr);
}

void ExtractPending()
{
    KillTimer(g_state.window, kExtractTimer);
    if (!g_state.pendingData) return;
    if (g_state.mode == Mode::Late) {
        g_state.pendingRead = bed::ReadDescriptors(g_state.pendingData, &g_state.pendingDescriptors);
    }
    HRESULT hr = g_state.pendingRead;
    if (SUCCEEDED(hr)) {
        hr = bed::ExtractFiles(g_state.pendingData, g_state.pendingDescriptors, g_state.outFolder, KeptStream());
    }
    EndPending(hr);
}

void Paste()
{
    IDataObject* data = nullptr;
    HRESULT hr = OleGetClipboard(&data);
    bed::Log("paste").Hr("hr", hr);
    if (FAILED(hr)) return;
    ExtractNow(data);
    data->Release();
}

LRESULT CALLBACK TargetWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_LBUTTONDOWN:
        if (g_state.paste) {
            Paste();
            return 0;
        }
        break;
    case WM_TIMER:
        if (wParam == kExtractTimer) {
            ExtractPending();
            return 0;
        }
        break;
    case WM_DESTROY:
        RevokeDragDrop(window);
        if (g_state.pendingData) {
            g_state.pendingRead = E_ABORT;
            EndPending(E_ABORT);
        }
        if (g_state.keptStream) {
            // Its source may have ended meanwhile: the release must not hang then either.
            g_state.keptStream->Release();
            g_state.keptStream = nullptr;
            bed::Log("release-stream");
        }
        break;
    }
    return bed::DefaultWindowProc(window, message, wParam, lParam);
}

bool Configure(const bed::Arguments& arguments)
{
    g_state.modeName = arguments.Value(L"--mode", L"sync");
    g_state.paste = arguments.Has(L"--paste");
    g_state.keepStream = arguments.Has(L"--keep-stream");
    g_state.outFolder = bed::LocalPath(arguments.Value(L"--out"));
    std::wstring delay = arguments.Value(L"--delay", L"300");
    g_state.delayMs = static_cast<UINT>(_wtoi(delay.c_str()));
    if (g_state.outFolder.empty() || !ParseMode(g_state.modeName, &g_state.mode)) return false;
    int made = SHCreateDirectoryExW(nullptr, g_state.outFolder.c_str(), nullptr);
    return made == ERROR_SUCCESS || made == ERROR_ALREADY_EXISTS || made == ERROR_FILE_EXISTS;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    bed::ProgramInfo info = {L"ExplorerTarget", L"Explorer Target", {420, 300, 360, 240},
                             {L"--paste", L"--keep-stream"},
                             L"Drop target for virtual files (FileGroupDescriptorW and FileContents): "
                             L"writes them under its output folder."};
    bed::Arguments arguments;
    g_state.window = bed::StartProgram(info, TargetWindowProc, &arguments);
    if (!g_state.window) return 2;
    if (!Configure(arguments)) {
        return bed::EndWithUsageError(g_state.window, "--out FOLDER is needed; --mode is sync, async, late or refuse");
    }
    bed::DropHandlers handlers;
    handlers.enter = [](IDataObject* data, DWORD allowed, POINTL) { return DragEnter(data, allowed); };
    handlers.over = [](DWORD, POINTL point) { return DragOver(point); };
    handlers.leave = [] { bed::Log("drag-leave"); };
    handlers.drop = [](IDataObject* data, DWORD allowed, POINTL point) { return Drop(data, allowed, point); };
    HRESULT hr = bed::RegisterBedDropTarget(g_state.window, handlers);
    if (FAILED(hr)) {
        bed::Log("register-drag-drop").Hr("hr", hr);
        DestroyWindow(g_state.window);
    }
    return bed::RunProgram(g_state.window);
}
