#include "StatusLine.h"

#include <atomic>
#include <cstdarg>
#include <cwchar>
#include <new>

#include "Devices.h"
#include "Dpi.h"
#include "iPhone.h"
#include "resource.h"

// Last: it retires the unbounded string functions of the headers before it.
#include <strsafe.h>

namespace {

const size_t kStatusTextLength = 1024;
const size_t kSizeTextLength = 256;
const size_t kLongestShownDeviceName = 256;

struct ToolbarIcons {
    int button;
    int (*test)();
    int enabledIcon;
    int disabledIcon;
};
const ToolbarIcons kToolbar[] = {
    {IDC_NEW_FOLDER, CanCreateFolder, IDI_NEW_FOLDER, IDI_NEW_FOLDER_DISABLED},
    {IDC_DELETE, CanDelete, IDI_DELETE, IDI_DELETE_DISABLED},
    {IDC_UP, CanGoUp, IDI_UP, IDI_UP_DISABLED},
    {IDC_REFRESH, CanRefresh, IDI_REFRESH, IDI_REFRESH_DISABLED},
};
const int kToolbarButtonCount = sizeof(kToolbar) / sizeof(kToolbar[0]);

// The enabled and the disabled icon of each button, at one size. A set is made on the
// user-interface thread when the window's scale asks for a size not met before, and kept until the
// end: the notice and copy threads refresh the toolbar too, and read the current set without a lock.
struct ToolbarIconSet {
    int size;
    HICON enabled[kToolbarButtonCount];
    HICON disabled[kToolbarButtonCount];
    ToolbarIconSet* older;
};
std::atomic<ToolbarIconSet*> g_toolbarIcons{nullptr};
ToolbarIconSet* s_toolbarIconSets;

// Bounded formatting: whatever the arguments, the text is cut to the buffer and terminated.
void FormatInto(wchar_t* buffer, size_t length, const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    HRESULT result = StringCchVPrintfW(buffer, length, format, arguments);
    va_end(arguments);
    if (FAILED(result) && result != STRSAFE_E_INSUFFICIENT_BUFFER) buffer[0] = L'\0';
}

// The text of FormatSize, written into the caller's buffer. The status line uses its own buffers,
// so the notice and copy threads never overwrite a size the file list is still reading.
// "whole.d unit": d is the remainder in the next smaller unit divided by 100 (0 to 10, not rounded),
// left out when it is 0.
void FormatWithDigit(wchar_t* buffer, size_t length, uint64_t whole, uint64_t remainder, const wchar_t* unit)
{
    int digit = static_cast<int>(remainder / 100);
    if (digit != 0) {
        FormatInto(buffer, length, L"%I64u.%d %s", whole, digit, unit);
    } else {
        FormatInto(buffer, length, L"%I64u %s", whole, unit);
    }
}

// The text of FormatSize, written into the caller's buffer. The status line uses its own buffers,
// so the notice and copy threads never overwrite a size the file list is still reading.
void FormatSizeInto(uint64_t bytes, wchar_t* buffer, size_t length)
{
    uint64_t kilo = bytes / 1024;
    uint64_t mega = kilo / 1024;
    uint64_t giga = mega / 1024;
    if (giga > 0) {
        FormatWithDigit(buffer, length, giga, mega - giga * 1024, L"GB");
    } else if (mega > 0) {
        FormatWithDigit(buffer, length, mega, kilo - mega * 1024, L"MB");
    } else if (kilo > 0) {
        if (bytes - kilo * 1024 >= 5) ++kilo;
        FormatInto(buffer, length, L"%I64u KB", kilo);
    } else {
        FormatInto(buffer, length, L"%I64u B", bytes);
    }
}

void ChooseStatusText(wchar_t* text, size_t length)
{
    if (g_connectionError) {
        FormatInto(text, length, L"%ls", L"Connection error. Please disconnect and reconnect your device.");
        return;
    }
    if (!g_devices.load()) {
        FormatInto(text, length, L"%ls", L"Connect iPhone, iPod touch or iPad with Tovarel app installed");
        return;
    }
    const DeviceEntry* device = g_currentDevice;
    if (!device) {
        text[0] = L'\0';
        return;
    }
    // A device may call itself anything, at any length: a long name is cut, with an ellipsis, so
    // that the storage figures after it still fit.
    const wchar_t* fullName = DeviceDisplayName(device);
    wchar_t name[kLongestShownDeviceName + 2];
    size_t nameLength = wcslen(fullName);
    if (nameLength > kLongestShownDeviceName) {
        nameLength = kLongestShownDeviceName;
        // Never between the two halves of a surrogate pair.
        if (fullName[nameLength - 1] >= 0xD800 && fullName[nameLength - 1] <= 0xDBFF) --nameLength;
        wmemcpy(name, fullName, nameLength);
        name[nameLength++] = L'\u2026';
        name[nameLength] = L'\0';
    } else {
        wmemcpy(name, fullName, nameLength + 1);
    }
    if (device->fsInconsistent) {
        FormatInto(text, length, L"%ls (detected file system inconsistency)", name);
        return;
    }
    wchar_t total[kSizeTextLength] = L"";
    wchar_t freeText[kSizeTextLength] = L"";
    if (device->hasTotalBytes) FormatSizeInto(device->totalBytes, total, kSizeTextLength);
    if (device->hasFreeBytes) FormatSizeInto(device->freeBytes, freeText, kSizeTextLength);
    if (device->hasTotalBytes && device->hasFreeBytes) {
        FormatInto(text, length, L"%ls (disk space = %ls, free = %ls)", name, total, freeText);
    } else if (device->hasTotalBytes) {
        FormatInto(text, length, L"%ls (disk space = %ls)", name, total);
    } else if (device->hasFreeBytes) {
        FormatInto(text, length, L"%ls (free = %ls)", name, freeText);
    } else {
        FormatInto(text, length, L"%ls", name);
    }
}

// The keyboard focus of the user-interface thread, from whichever thread asks: GetFocus alone
// answers null on the notice and copy threads, which would show Delete enabled on the tree.
HWND UserInterfaceFocus(HWND mainWindow)
{
    DWORD thread = GetWindowThreadProcessId(mainWindow, nullptr);
    if (thread == 0 || thread == GetCurrentThreadId()) return GetFocus();
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

bool ReadWindowInfo(HWND window, WINDOWINFO* info)
{
    info->cbSize = sizeof(WINDOWINFO);
    if (window && GetWindowInfo(window, info)) return true;
    // Only a window that is going may be missing.
    FATAL_CHECK(MainWindowGone());
    return false;
}

// The status text keeps its left, top and height and reaches the first button. It is moved and
// repainted only when that changes its width: the toolbar is refreshed at every selection change.
void StretchStatusText(HWND mainWindow)
{
    HWND status = GetDlgItem(mainWindow, IDC_STATUS_LINE);
    WINDOWINFO windowInfo;
    WINDOWINFO statusInfo;
    WINDOWINFO buttonInfo;
    if (!ReadWindowInfo(mainWindow, &windowInfo) || !ReadWindowInfo(status, &statusInfo) ||
        !ReadWindowInfo(GetDlgItem(mainWindow, IDC_NEW_FOLDER), &buttonInfo)) {
        return;
    }
    const RECT& statusRect = statusInfo.rcWindow;
    int width = buttonInfo.rcWindow.left - statusRect.left;
    if (width == statusRect.right - statusRect.left) return;
    MoveWindow(status, statusRect.left - windowInfo.rcClient.left, statusRect.top - windowInfo.rcClient.top, width,
               statusRect.bottom - statusRect.top, TRUE);
    InvalidateRect(status, nullptr, TRUE);
    UpdateWindow(status);
}

ToolbarIconSet* MakeToolbarIconSet(int size)
{
    ToolbarIconSet* set = new (std::nothrow) ToolbarIconSet{};
    if (!set) return nullptr;
    set->size = size;
    for (int i = 0; i < kToolbarButtonCount; ++i) {
        set->enabled[i] = LoadProgramIcon(kToolbar[i].enabledIcon, size);
        set->disabled[i] = LoadProgramIcon(kToolbar[i].disabledIcon, size);
    }
    return set;
}

// The button's image is set only when its icon changes: the button keeps a copy of every image it
// is given, so setting the same icon at every refresh used up the process's graphics objects.
void ShowButtonIcon(HWND mainWindow, const ToolbarIcons& entry)
{
    HICON image = ToolbarIcon(entry.test() ? entry.enabledIcon : entry.disabledIcon);
    HWND button = GetDlgItem(mainWindow, entry.button);
    if (reinterpret_cast<HICON>(SendMessageW(button, BM_GETIMAGE, IMAGE_ICON, 0)) == image) return;
    SendMessageW(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(image));
}

}  // namespace

void SetToolbarIconSize(int size)
{
    ToolbarIconSet* set = s_toolbarIconSets;
    while (set && set->size != size) set = set->older;
    if (!set) {
        set = MakeToolbarIconSet(size);
        if (!set) return;
        set->older = s_toolbarIconSets;
        s_toolbarIconSets = set;
    }
    g_toolbarIcons = set;
}

HICON ToolbarIcon(int id)
{
    const ToolbarIconSet* set = g_toolbarIcons;
    for (int i = 0; set && i < kToolbarButtonCount; ++i) {
        if (kToolbar[i].enabledIcon == id) return set->enabled[i];
        if (kToolbar[i].disabledIcon == id) return set->disabled[i];
    }
    return nullptr;
}

void FreeToolbarIcons()
{
    g_toolbarIcons = nullptr;
    while (ToolbarIconSet* set = s_toolbarIconSets) {
        s_toolbarIconSets = set->older;
        for (int i = 0; i < kToolbarButtonCount; ++i) {
            if (set->enabled[i]) DestroyIcon(set->enabled[i]);
            if (set->disabled[i]) DestroyIcon(set->disabled[i]);
        }
        delete set;
    }
}

const wchar_t* FormatSize(uint64_t bytes)
{
    static wchar_t text[kSizeTextLength];
    FormatSizeInto(bytes, text, kSizeTextLength);
    return text;
}

int CanCreateFolder()
{
    const FolderNode* folder = g_currentFolder;
    return CurrentConnection() && folder && folder->path ? 1 : 0;
}

int CanDelete()
{
    if (!CurrentConnection()) return 0;
    const FolderNode* folder = g_currentFolder;
    if (!folder || !folder->parent) return 0;
    HWND mainWindow = g_mainWindow;
    HWND tree = mainWindow ? GetDlgItem(mainWindow, IDC_FOLDER_TREE) : nullptr;
    if (!tree) {
        FATAL_CHECK(MainWindowGone());
        return 0;
    }
    if (UserInterfaceFocus(mainWindow) == tree) return 0;
    return g_fileList && SendMessageW(g_fileList, LVM_GETSELECTEDCOUNT, 0, 0) > 0 ? 1 : 0;
}

int CanGoUp()
{
    const FolderNode* folder = g_currentFolder;
    return CurrentConnection() && folder && folder != g_rootFolder.load() ? 1 : 0;
}

int CanRefresh()
{
    return g_currentDevice.load() ? 1 : 0;
}

void UpdateToolbar()
{
    // Device notices and uploads may end after the window is gone; nothing to show then.
    HWND mainWindow = g_mainWindow;
    if (MainWindowGone()) return;
    StretchStatusText(mainWindow);
    for (const ToolbarIcons& entry : kToolbar) ShowButtonIcon(mainWindow, entry);
}

void UpdateStatusLine()
{
    UpdateToolbar();
    wchar_t text[kStatusTextLength];
    ChooseStatusText(text, kStatusTextLength);
    if (!MainWindowGone()) SetDlgItemTextW(g_mainWindow, IDC_STATUS_LINE, text);
}
