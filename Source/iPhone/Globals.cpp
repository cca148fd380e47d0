// The process-wide values shared by the window and the device-facing code.
#include "iPhone.h"

#include "TextUtil.h"

HINSTANCE g_instance;
std::atomic<HWND> g_mainWindow{nullptr};
std::atomic<bool> g_mainWindowBuilt{false};
std::atomic<bool> g_mainWindowClosing{false};
HWND g_fileList;
HWND g_deviceList;
HWND g_locationsList;
HIMAGELIST g_fileImageList;
HIMAGELIST g_deviceImageList;
ExtensionTable* g_extensionTable;

CFStringRef g_cfAfcService;
CFStringRef g_cfDeviceName;
CFStringRef g_cfUniqueDeviceId;
CFStringRef g_cfEdition4Id;
CFStringRef g_cfEditionIPadId;
CFStringRef g_cfEditionIPhoneId;

UINT g_cfFileGroupDescriptorW;
UINT g_cfFileContents;

std::atomic<DeviceEntry*> g_devices{nullptr};
std::atomic<DeviceEntry*> g_currentDevice{nullptr};
std::atomic<int32_t> g_connectionError{0};
wchar_t* g_userDocsPath;
std::atomic<FolderNode*> g_rootFolder{nullptr};
std::atomic<FolderNode*> g_currentFolder{nullptr};

std::atomic<HWND> g_copyDialog{nullptr};
std::atomic<HWND> g_copyProgressBar{nullptr};
std::atomic<HWND> g_copyStatusText{nullptr};
std::atomic<int32_t> g_copyCancel{0};
std::atomic<HANDLE> g_copyThread{nullptr};
std::atomic<HWND> g_copyBusyDialog{nullptr};

HWND MainWindowControl(int id)
{
    HWND window = g_mainWindow.load();
    return window ? GetDlgItem(window, id) : nullptr;
}

bool MainWindowGone()
{
    HWND window = g_mainWindow.load();
    return !window || g_mainWindowClosing.load() || !IsWindow(window);
}

bool ItemAdded(HWND control, bool added)
{
    if (added) return true;
    FATAL_CHECK(MainWindowGone() || !IsWindow(control));
    return false;
}

AFCConnectionRef CurrentConnection()
{
    DeviceEntry* device = g_currentDevice.load();
    return device ? device->afc : nullptr;
}

bool LocationOpen()
{
    return CurrentConnection() && g_currentFolder.load();
}

namespace {

const wchar_t kDocumentsDevicePath[] = L"/Documents";

}  // namespace

wchar_t* ResolveDevicePath(const wchar_t* path)
{
    if (!path || !path[0]) return nullptr;
    if (path[1] != L'\0' && path[1] != L'/') return nullptr;
    const wchar_t* base = nullptr;
    if (path[0] == L'0') {
        base = kDocumentsDevicePath;
    } else if (path[0] == L'2') {
        base = g_userDocsPath;
    } else {
        return nullptr;
    }
    if (!path[1] || !path[2]) return DupString(base);
    return JoinDevicePath(base, path + 2);
}

void ServeSentMessagesBriefly(HANDLE wakeOn)
{
    MsgWaitForMultipleObjects(wakeOn ? 1 : 0, wakeOn ? &wakeOn : nullptr, FALSE, 10, QS_SENDMESSAGE);
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}
