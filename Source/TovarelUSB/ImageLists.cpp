#include "ImageLists.h"

#include <objbase.h>
#include <commctrl.h>
#include <shellapi.h>

#include "Dpi.h"
#include "FileList.h"
#include "iPhone.h"
#include "resource.h"

namespace {

// Sizes at 96 DPI; the window's scale multiplies them.
const int kDeviceIconSize = 32;
const int kDeviceIcons[] = {IDI_IPAD, IDI_IPHONE, IDI_EDITION_4, IDI_EDITION};

// The background of the system's small-icon list, which every image list of the window copies.
COLORREF s_imageBackground = CLR_NONE;
// Polls, while an upload runs, for the moment the file images may be made for a new scale.
const UINT_PTR kFileImagesTimer = 1;
const UINT kFileImagesRetryMilliseconds = 250;
// The scale the file images are wanted at while the timer polls.
int s_wantedFileImagesDpi = kDefaultDpi;

// The thread that builds the shell's icon cache at the start, until the window's build waits for it.
HANDLE s_warmUpThread;

DWORD WINAPI WarmUpShellIcons(void*)
{
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    SystemSmallImageList();
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}

// Icons handed out by the shell and by LoadImage without LR_SHARED belong to the caller.
struct OwnedIcon {
    HICON icon = nullptr;
    OwnedIcon() = default;
    explicit OwnedIcon(HICON handle) : icon(handle) {}
    OwnedIcon(const OwnedIcon&) = delete;
    OwnedIcon& operator=(const OwnedIcon&) = delete;
    ~OwnedIcon()
    {
        if (icon) DestroyIcon(icon);
    }
};

// Our own lists copy the background colour of the system's small-icon list.
bool ReadSystemImageBackground()
{
    HIMAGELIST system = SystemSmallImageList();
    if (!system) return false;
    s_imageBackground = ImageList_GetBkColor(system);
    return true;
}

HIMAGELIST CreateImageList(int size, int initial, int grow)
{
    HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, initial, grow);
    if (list) ImageList_SetBkColor(list, s_imageBackground);
    return list;
}

// Appends an icon that must land at the given index; the list is destroyed when it does not.
bool AddIconAt(HIMAGELIST& list, HICON icon, int index)
{
    OwnedIcon owned(icon);
    if (list && owned.icon && ImageList_AddIcon(list, owned.icon) == index) return true;
    if (list) ImageList_Destroy(list);
    list = nullptr;
    return false;
}

// The folder (image 0) and the plain file (image 1) at the size of a small icon at this scale.
HIMAGELIST MakeFileImageList(int dpi)
{
    int size = SmallIconSize(dpi);
    HIMAGELIST list = CreateImageList(size, 16, 16);
    if (AddIconAt(list, ShellIconOfName(L"a", FILE_ATTRIBUTE_DIRECTORY, size), 0)) {
        AddIconAt(list, ShellIconOfName(L"a", FILE_ATTRIBUTE_NORMAL, size), 1);
    }
    return list;
}

HIMAGELIST MakeDeviceImageList(int dpi)
{
    int size = ScaleToDpi(kDeviceIconSize, dpi);
    HIMAGELIST list = CreateImageList(size, 6, 2);
    for (int i = 0; i < 4 && list; ++i) AddIconAt(list, LoadProgramIcon(kDeviceIcons[i], size), i);
    return list;
}

bool CreateExtensionTable()
{
    HANDLE heap = GetProcessHeap();
    ExtensionTable* table = static_cast<ExtensionTable*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(ExtensionTable)));
    if (!table) return false;
    const int capacity = 16;
    table->entries = static_cast<wchar_t**>(HeapAlloc(heap, HEAP_ZERO_MEMORY, capacity * sizeof(wchar_t*)));
    if (!table->entries) {
        HeapFree(heap, 0, table);
        return false;
    }
    table->capacity = capacity;
    table->count = 0;
    g_extensionTable = table;
    return true;
}

// A list view without the shared style destroys its image lists with itself; g_deviceImageList
// serves two lists and is destroyed once by the shutdown instead.
void GiveSharedImageList(HWND list, HIMAGELIST images)
{
    LONG_PTR style = GetWindowLongPtrW(list, GWL_STYLE);
    SetWindowLongPtrW(list, GWL_STYLE, style | LVS_SHAREIMAGELISTS);
    ListView_SetImageList(list, images, LVSIL_SMALL);
}

}  // namespace

bool CreateFileImageList(int dpi)
{
    FinishShellIconWarmUp();
    if (!ReadSystemImageBackground()) return false;
    g_fileImageList = MakeFileImageList(dpi);
    return g_fileImageList && CreateExtensionTable();
}

bool AttachFileImageList(HWND window)
{
    HWND tree = GetDlgItem(window, IDC_FOLDER_TREE);
    g_fileList = GetDlgItem(window, IDC_FILE_LIST);
    if (!tree || !g_fileList) return false;
    TreeView_SetImageList(tree, g_fileImageList, TVSIL_NORMAL);
    TreeView_SetImageList(tree, g_fileImageList, TVSIL_STATE);
    ListView_SetImageList(g_fileList, g_fileImageList, LVSIL_SMALL);
    return true;
}

bool CreateDeviceImageList(HWND window, int dpi)
{
    g_deviceImageList = MakeDeviceImageList(dpi);
    if (!g_deviceImageList) return false;
    g_deviceList = GetDlgItem(window, IDC_DEVICE_LIST);
    g_locationsList = GetDlgItem(window, IDC_LOCATIONS_LIST);
    if (!g_deviceList || !g_locationsList) return false;
    GiveSharedImageList(g_deviceList, g_deviceImageList);
    GiveSharedImageList(g_locationsList, g_deviceImageList);
    return true;
}

void ReplaceDeviceImageList(int dpi)
{
    HIMAGELIST list = MakeDeviceImageList(dpi);
    if (!list) return;
    HIMAGELIST old = g_deviceImageList;
    g_deviceImageList = list;
    GiveSharedImageList(g_deviceList, list);
    GiveSharedImageList(g_locationsList, list);
    if (old) ImageList_Destroy(old);
}

namespace {

void CALLBACK RetryFileImages(HWND window, UINT, UINT_PTR, DWORD)
{
    // No file list: the window's build was undone, and the lists with it.
    if (g_fileList) ReplaceFileImageList(window, s_wantedFileImagesDpi);
}

}  // namespace

// An upload appends to g_fileImageList from the copy thread when it shows its folder: while one
// runs, the list is left alone and a timer asks again. No upload can start meanwhile: only a drop,
// handled on this thread, starts one.
void ReplaceFileImageList(HWND window, int dpi)
{
    s_wantedFileImagesDpi = dpi;
    if (ImageListIconSize(g_fileImageList) == SmallIconSize(dpi)) {
        KillTimer(window, kFileImagesTimer);
        return;
    }
    if (g_copyThread.load()) {
        SetTimer(window, kFileImagesTimer, kFileImagesRetryMilliseconds, RetryFileImages);
        return;
    }
    KillTimer(window, kFileImagesTimer);
    HIMAGELIST list = MakeFileImageList(dpi);
    if (!list || !AddExtensionImages(list, SmallIconSize(dpi))) {
        if (list) ImageList_Destroy(list);
        return;
    }
    HIMAGELIST old = g_fileImageList;
    g_fileImageList = list;
    AttachFileImageList(window);
    if (old) ImageList_Destroy(old);
}

HIMAGELIST SystemSmallImageList()
{
    // Asked for a small icon with the system icon index, the shell answers with its small-icon list.
    SHFILEINFOW info = {};
    UINT flags = SHGFI_USEFILEATTRIBUTES | SHGFI_SMALLICON | SHGFI_SYSICONINDEX;
    return reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(L"a", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof(info), flags));
}

void StartShellIconWarmUp()
{
    // Without the thread the window asks the shell itself, only later; the answers are the same.
    if (!s_warmUpThread) s_warmUpThread = CreateThread(nullptr, 0, WarmUpShellIcons, nullptr, 0, nullptr);
}

void FinishShellIconWarmUp()
{
    HANDLE thread = s_warmUpThread;
    if (!thread) return;
    s_warmUpThread = nullptr;
    // Called on the window's thread: what other threads send it meanwhile is served, as in its other waits.
    while (WaitForSingleObject(thread, 0) == WAIT_TIMEOUT) ServeSentMessagesBriefly(thread);
    CloseHandle(thread);
}
