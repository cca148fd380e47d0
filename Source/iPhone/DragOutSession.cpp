// One drag out from its opening to its end, whichever way it ends: the drag loop without an
// extraction, the target's end of its operation, Cancel in the busy dialog, a failed build, the
// location closing.
#include <new>

#include "DragObjects.h"
#include "TextUtil.h"
#include "TransferDialogs.h"
#include "UserMessages.h"
#include "VirtualFiles.h"

namespace {

// Left-out links named in the note after the drag; the rest are counted.
const size_t kLeftOutLinksNamed = 20;

// The open drag out's number (0 while none is numbered), the last one given, and its data object
// while a target extracts after the drag loop (one reference of its own).
uint64_t s_openDrag;
uint64_t s_lastDrag;
IDataObject* s_extractingData;

// The links the last finished build left out, and the relative path that was too long for the
// last failed one, until the note after the drag names them.
std::vector<std::wstring> s_leftOutLinks;
std::wstring s_tooLongPath;

}  // namespace

bool OpenDragOutFrom(wchar_t* sourceFolder)
{
    s_openDrag = 0;
    g_dragSourceFolder = sourceFolder;
    return g_dragSourceFolder != nullptr;
}

void AbandonDragOut()
{
    s_openDrag = 0;
    FreeString(g_dragSourceFolder);
    g_dragSourceFolder = nullptr;
}

bool DragOutOpen()
{
    return g_dragSourceFolder != nullptr;
}

uint64_t NumberOpenDragOut()
{
    if (!DragOutOpen()) return 0;
    if (!s_openDrag) s_openDrag = ++s_lastDrag;
    return s_openDrag;
}

bool IsOpenDragOut(uint64_t drag)
{
    return drag && DragOutOpen() && drag == s_openDrag;
}

void FreeDragDescriptors()
{
    FreeDescriptorBlock(g_dragDescriptors, g_dragDevicePaths, g_dragCount);
    ForgetDragDescriptors();
}

void ForgetDragDescriptors()
{
    g_dragDescriptors = nullptr;
    g_dragDevicePaths = nullptr;
    g_dragCapacity = 0;
    g_dragCount = 0;
}

void EndDragOut()
{
    s_openDrag = 0;
    // Named once the drag is over: a box inside the target's call would hold up its drop.
    if (!s_leftOutLinks.empty() || !s_tooLongPath.empty()) {
        PostMessageW(g_mainWindow.load(), WMU_SHOW_DRAG_OUT_NOTE, 0, 0);
    }
    FreeDragDescriptors();
    FreeString(g_dragSourceFolder);
    g_dragSourceFolder = nullptr;
    // A request for the busy dialog not yet handled opens nothing now.
    CloseCopyBusyDialog();
    // Last: releasing it may end the data object, which ends nothing more.
    if (IDataObject* data = s_extractingData) {
        s_extractingData = nullptr;
        data->Release();
    }
}

void EndDragOutOf(uint64_t drag)
{
    if (IsOpenDragOut(drag)) EndDragOut();
}

void KeepExtractingData(IDataObject* data)
{
    if (!DragOutOpen() || s_extractingData) return;
    data->AddRef();
    s_extractingData = data;
}

void CancelDragOut()
{
    IDataObject* data = s_extractingData;
    s_extractingData = nullptr;
    uint64_t drag = s_openDrag;
    EndDragOut();
    // The streams it handed out too: a target that goes on reading them, or died holding them,
    // holds up nothing from now on.
    if (drag) EndHandedOutStreams(drag);
    if (!data) return;
    // Every reference another process holds goes now; its next call fails there.
    CoDisconnectObject(data, 0);
    data->Release();
}

void KeepTooLongPathForNote(const wchar_t* relativePath)
{
    try {
        s_tooLongPath = relativePath;
    } catch (const std::bad_alloc&) {
        s_tooLongPath.clear();
    }
}

void KeepLeftOutLinksForNote(std::vector<std::wstring>& links)
{
    s_leftOutLinks.clear();
    s_leftOutLinks.swap(links);
}

void ShowDragOutNotes()
{
    std::wstring tooLong;
    tooLong.swap(s_tooLongPath);
    if (!tooLong.empty()) WarnPathTooLong(tooLong.c_str());
    std::vector<std::wstring> links;
    links.swap(s_leftOutLinks);
    ShowLeftOutLinks(links);
}

void ShowLeftOutLinks(const std::vector<std::wstring>& links)
{
    if (links.empty()) return;
    try {
        std::wstring text = L"These links were not copied: each leads back into a folder that was being copied, "
                            L"or the device does not say where it leads.\n";
        for (size_t i = 0; i < links.size() && i < kLeftOutLinksNamed; ++i) text += L"\n" + links[i];
        if (links.size() > kLeftOutLinksNamed) {
            text += L"\n... and " + std::to_wstring(links.size() - kLeftOutLinksNamed) + L" more";
        }
        ShowWarning(text.c_str(), L"TovarelUSB");
    } catch (const std::bad_alloc&) {
        ShowWarning(L"Some links were left out of the copy.", L"TovarelUSB");
    }
}

void WarnPathTooLong(const wchar_t* relativePath)
{
    OwnedWide text(ConcatStrings(L"Can't copy out \"", relativePath));
    OwnedWide full(text ? ConcatStrings(text.get(), L"\": the path is too long for Windows. Nothing was copied.")
                        : nullptr);
    ShowWarning(full ? full.get() : L"A path is too long for Windows. Nothing was copied.", L"TovarelUSB");
}
