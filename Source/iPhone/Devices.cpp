#include "Devices.h"

#include <cstring>

#include "Clipboard.h"
#include "FolderTree.h"
#include "KeyValuePairs.h"
#include "StatusLine.h"
#include "TextUtil.h"
#include "resource.h"

namespace {

std::atomic<int> g_noticeHandlersRunning{0};
std::atomic<bool> g_noticesClosed{false};

// Device list images (g_deviceImageList).
enum : int { IMAGE_IPAD = 0, IMAGE_IPHONE = 1, IMAGE_EDITION_4 = 2, IMAGE_EDITION = 3 };

const wchar_t kAsRootPath[] = L"/Library/Application Support/" EDITION_IPHONE_IDENTIFIER ".ASRoot/UserDocs";
const wchar_t kCacheRootPath[] = L"/Library/Caches/" EDITION_IPHONE_IDENTIFIER ".CacheRoot/UserDocs";

bool OnMainWindowThread()
{
    HWND window = g_mainWindow.load();
    return window && GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
}

// A change of the device list that the notice thread hands to the window's thread.
struct HandedOverChange {
    void (*run)(void* change);
    void* change;
    enum Outcome { NOT_RUN, RAN, UPLOAD_RUNNING } outcome;
};

// Every change of the device list, and every look into it that a device notice needs, runs on the
// window's thread, one at a time: the notice thread hands the change over in a sent message and
// waits for it. A reset there after a failed opening thus never meets an arrival or a removal
// halfway. No change is made while an upload runs. False when the change was not made: the window
// is gone, or device notices were closed while waiting for the upload (shutdown).
template <class Change> bool ChangeDeviceList(Change change)
{
    HWND window = g_mainWindow.load();
    // Without any window there is no other thread that changes the list.
    if (!window || OnMainWindowThread()) {
        if (!WaitUntilNoCopyThread()) return false;
        change();
        return true;
    }
    HandedOverChange handOver{[](void* pending) { (*static_cast<Change*>(pending))(); }, &change,
                              HandedOverChange::NOT_RUN};
    do {
        if (!WaitUntilNoCopyThread() || MainWindowGone()) return false;
        // A window that goes meanwhile never runs it.
        handOver.outcome = HandedOverChange::NOT_RUN;
        SendMessageW(window, WMU_CHANGE_DEVICE_LIST, 0, reinterpret_cast<LPARAM>(&handOver));
    } while (handOver.outcome == HandedOverChange::UPLOAD_RUNNING);
    return handOver.outcome == HandedOverChange::RAN;
}

// Selecting always sets both the selected and the focused state.
void SelectListItem(HWND list, int index)
{
    ListView_SetItemState(list, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

bool ListItemSelected(HWND list, int index)
{
    return (ListView_GetItemState(list, index, LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

int FirstSelectedItem(HWND list)
{
    if (!list) return -1;
    if (ListItemSelected(list, 0)) return 0;
    return ListView_GetNextItem(list, 0, LVNI_SELECTED);
}

int InsertListItem(HWND list, int index, const wchar_t* text, int image, LPARAM data)
{
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = index;
    item.pszText = const_cast<wchar_t*>(text);
    item.iImage = image;
    item.lParam = data;
    return static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

DeviceEntry* FindDeviceEntry(AMDeviceRef device)
{
    for (DeviceEntry* entry = g_devices.load(); entry; entry = entry->next) {
        if (entry->device == device) return entry;
    }
    return nullptr;
}

bool IsListed(const DeviceEntry* wanted)
{
    for (DeviceEntry* entry = g_devices.load(); entry; entry = entry->next) {
        if (entry == wanted) return true;
    }
    return false;
}

int DevicePosition(const DeviceEntry* wanted)
{
    int position = 0;
    for (DeviceEntry* entry = g_devices.load(); entry; entry = entry->next, ++position) {
        if (entry == wanted) return position;
    }
    return -1;
}

DeviceEntry* DeviceAt(int position)
{
    if (position < 0) return nullptr;
    DeviceEntry* entry = g_devices.load();
    for (; entry && position > 0; --position) entry = entry->next;
    return entry;
}

void AppendDeviceEntry(DeviceEntry* entry)
{
    DeviceEntry* tail = g_devices.load();
    if (!tail) {
        g_devices = entry;
        return;
    }
    while (tail->next) tail = tail->next;
    tail->next = entry;
}

void UnlinkDeviceEntry(DeviceEntry* entry)
{
    DeviceEntry* head = g_devices.load();
    if (head == entry) {
        g_devices = entry->next;
        return;
    }
    for (DeviceEntry* previous = head; previous; previous = previous->next) {
        if (previous->next == entry) {
            previous->next = entry->next;
            return;
        }
    }
}

CFStringRef EditionIdentifier(AppEdition code)
{
    switch (code) {
    case EDITION_4:
        return g_cfEdition4Id;
    case EDITION_IPAD:
        return g_cfEditionIPadId;
    case EDITION_IPHONE:
        return g_cfEditionIPhoneId;
    default:
        return nullptr;
    }
}

int EditionCount(const DeviceEntry* entry)
{
    int count = 0;
    while (count < 7 && entry->locations[count] != EDITION_NONE) ++count;
    return count;
}

wchar_t* CopyDeviceValue(AMDeviceRef device, CFStringRef key)
{
    CFStringRef value = g_lib.AMDeviceCopyValue(device, nullptr, key);
    if (!value) return nullptr;
    wchar_t* text = CfStringToUtf16(value);
    g_lib.CFRelease(value);
    return text;
}

bool ReadDeviceInformation(AFCConnectionRef afc, DeviceEntry* entry)
{
    AFCKeyValueReaderRef reader = nullptr;
    if (g_lib.AFCDeviceInfoOpen(afc, &reader) != 0) return false;
    auto visit = [entry](const char* key, const char* value) {
        uint64_t number = 0;
        if (strcmp(key, "Model") == 0) {
            entry->isIPad = strncmp(value, "iPad", 4) == 0;
        } else if (strcmp(key, "FSTotalBytes") == 0 && ParseDecimalU64(value, &number)) {
            entry->hasTotalBytes = 1;
            entry->totalBytes = number;
        } else if (strcmp(key, "FSFreeBytes") == 0 && ParseDecimalU64(value, &number)) {
            entry->hasFreeBytes = 1;
            entry->freeBytes = number;
        }
        return true;
    };
    return ReadPairsAndClose(reader, visit) == PairsOutcome::Read;
}

void LookUpEditions(AMDeviceRef device, DeviceEntry* entry)
{
    CFDictionaryRef apps = nullptr;
    if (g_lib.AMDeviceLookupApplications(device, nullptr, &apps) != 0 || !apps) return;
    entry->hasEdition4 = g_lib.CFDictionaryGetValue(apps, g_cfEdition4Id) != nullptr;
    entry->hasIPadEdition = g_lib.CFDictionaryGetValue(apps, g_cfEditionIPadId) != nullptr;
    entry->hasIPhoneEdition = g_lib.CFDictionaryGetValue(apps, g_cfEditionIPhoneId) != nullptr;
    g_lib.CFRelease(apps);
}

void FillLocations(DeviceEntry* entry)
{
    int count = 0;
    if (entry->hasEdition4) entry->locations[count++] = EDITION_4;
    if (entry->hasIPadEdition) entry->locations[count++] = EDITION_IPAD;
    if (entry->hasIPhoneEdition) entry->locations[count++] = EDITION_IPHONE;
    entry->locations[count] = EDITION_NONE;
}

// Reads what the window shows of an arriving device through a connection of its own, which is
// closed again. Null when the device cannot be connected.
DeviceEntry* ConnectArrivedDevice(AMDeviceRef device)
{
    if (g_lib.AMDeviceConnect(device) != 0) return nullptr;
    if (g_lib.AMDeviceIsPaired(device) != 1) return nullptr;
    if (g_lib.AMDeviceValidatePairing(device) != 0) return nullptr;
    void* memory = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(DeviceEntry));
    if (!memory) return nullptr;
    DeviceEntry* entry = static_cast<DeviceEntry*>(memory);
    entry->device = device;
    entry->name = CopyDeviceValue(device, g_cfDeviceName);
    entry->uniqueId = CopyDeviceValue(device, g_cfUniqueDeviceId);

    if (g_lib.AMDeviceStartSession(device) != 0) {
        FreeDeviceEntry(entry);
        return nullptr;
    }
    AMServiceRef service = nullptr;
    AFCConnectionRef afc = nullptr;
    bool ok = g_lib.AMDeviceStartService(device, g_cfAfcService, &service, nullptr) == 0 &&
              g_lib.AFCConnectionOpen(service, 0, &afc) == 0;
    ok = ok && ReadDeviceInformation(afc, entry);
    if (ok) LookUpEditions(device, entry);
    // The session of the arrival is never kept, whether or not the device could be read.
    if (afc) g_lib.AFCConnectionClose(afc);
    g_lib.AMDeviceStopSession(device);
    if (!ok) {
        FreeDeviceEntry(entry);
        return nullptr;
    }
    FillLocations(entry);
    return entry;
}

bool StartHouseArrest(AMDeviceRef device, AppEdition code, AMServiceRef* service)
{
    CFStringRef identifier = EditionIdentifier(code);
    if (!identifier) return false;
    CFStringRef command = MakeConstantString("Command");
    FATAL_CHECK(command);
    CFStringRef vendDocuments = MakeConstantString("VendDocuments");
    FATAL_CHECK(vendDocuments);
    const void* keys[1] = {command};
    const void* values[1] = {vendDocuments};
    CFDictionaryRef options = g_lib.CFDictionaryCreate(nullptr, keys, values, 1, nullptr, nullptr);
    FATAL_CHECK(options);
    int result = g_lib.AMDeviceStartHouseArrestService(device, identifier, options, service, nullptr);
    g_lib.CFRelease(options);
    ReleaseMadeString(command);
    ReleaseMadeString(vendDocuments);
    return result == 0;
}

// The app keeps its downloads in Application Support on newer systems and in Caches on older ones.
void ChooseUserDocsPath(AFCConnectionRef afc)
{
    FreeString(g_userDocsPath);
    g_userDocsPath = nullptr;
    OwnedUtf8 asRoot(ToUtf8(kAsRootPath));
    AFCDirectoryRef directory = nullptr;
    if (asRoot && g_lib.AFCDirectoryOpen(afc, asRoot.get(), &directory) == 0) {
        g_lib.AFCDirectoryClose(afc, directory);
        g_userDocsPath = DupString(kAsRootPath);
    } else {
        g_userDocsPath = DupString(kCacheRootPath);
    }
}

void CloseOpenLocation(DeviceEntry* device)
{
    if (device->afc) g_lib.AFCConnectionClose(device->afc);
    device->afc = nullptr;
    g_lib.AMDeviceStopSession(device->device);
}

HTREEITEM InsertRootItem(HWND tree, FolderNode* root)
{
    TVINSERTSTRUCTW insert = {};
    insert.hParent = TVI_ROOT;
    insert.hInsertAfter = TVI_FIRST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    insert.item.pszText = root->name;
    insert.item.iImage = 0;
    insert.item.iSelectedImage = 0;
    insert.item.lParam = reinterpret_cast<LPARAM>(root);
    return TreeView_InsertItem(tree, &insert);
}

// Builds the root of the freshly opened location and shows it. False on failure.
bool ShowNewRoot(HWND tree)
{
    FolderNode* root = NewFolderNode(nullptr, L"/", nullptr, 1);
    if (!root) return false;
    g_rootFolder = root;
    g_currentFolder = nullptr;
    ClearTreeView();
    FolderNode* children = ListFolder(root);
    HTREEITEM rootItem = InsertRootItem(tree, root);
    if (!rootItem) {
        FreeFolderList(children);
        return false;
    }
    LoadFolderChildren(rootItem, root, children);
    TreeView_Expand(tree, rootItem, TVE_EXPAND);
    TreeView_SelectItem(tree, rootItem);
    ListView_SetItemState(g_fileList, -1, LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    return true;
}

struct FolderTreeOwner {
    FolderNode* root;
    ~FolderTreeOwner()
    {
        // The location is gone: the program's copy on the clipboard named its files.
        if (root) WithdrawClipboardCopy();
        FreeFolderNode(root);
    }
};

// The end of every arrival, of a listed device too.
void FinishArrival()
{
    // Cleared before the selection: a location that fails to open while the device is chosen
    // raises the error again, and it must stay visible.
    g_connectionError = 0;
    if (!g_currentDevice.load()) SelectListItem(g_deviceList, 0);
    UpdateStatusLine();
}

void RemoveDevice(AMDeviceRef device)
{
    DeviceEntry* entry = FindDeviceEntry(device);
    if (!entry) {
        UpdateStatusLine();
        return;
    }
    if (entry == g_currentDevice.load()) {
        if (!g_devices.load()->next && g_devices.load() == entry) {
            g_currentDevice = nullptr;
            g_devices = nullptr;
            ClearBrowser();
            FillLocationsList();
            FillDeviceList();
            FreeDeviceEntry(entry);
            UpdateStatusLine();
            return;
        }
        int other = DevicePosition(entry) == 0 ? 1 : 0;
        SelectListItem(g_deviceList, other);
        // Without the list's notification (no window) the other device is made current directly.
        if (g_currentDevice.load() == entry) SelectDevice(DeviceAt(other));
    }
    // Opening the other device's location may have failed and reset everything, this entry included.
    if (IsListed(entry)) {
        if (g_currentDevice.load() == entry) g_currentDevice = nullptr;
        UnlinkDeviceEntry(entry);
        FillDeviceList();
        FreeDeviceEntry(entry);
    } else {
        FillDeviceList();
    }
    UpdateStatusLine();
}

void DropEveryDevice()
{
    DeviceEntry* entry = g_devices.load();
    g_currentDevice = nullptr;
    g_devices = nullptr;
    ClearBrowser();
    FillDeviceList();
    FillLocationsList();
    while (entry) {
        DeviceEntry* next = entry->next;
        // Whatever failed, the dropped device's connection and session are of no use any more; left
        // open they would stand in the way of its next connection.
        if (entry->afc) CloseOpenLocation(entry);
        FreeDeviceEntry(entry);
        entry = next;
    }
    g_connectionError = 1;
    UpdateStatusLine();
}

}  // namespace

bool WaitUntilNoCopyThread()
{
    bool windowThread = OnMainWindowThread();
    while (g_copyThread.load()) {
        if (windowThread) {
            ServeSentMessagesBriefly();
        } else {
            if (g_noticesClosed) return false;
            Sleep(10);
        }
    }
    return true;
}

void __cdecl OnDeviceNotice(const DeviceNotice* notice, void*)
{
    struct RunningHandler {
        RunningHandler() { ++g_noticeHandlersRunning; }
        ~RunningHandler() { --g_noticeHandlersRunning; }
    } running;
    if (g_noticesClosed) return;
    // Notices may come before the window exists; they reach the lists once it is built.
    while (!g_mainWindowBuilt && !g_noticesClosed) Sleep(10);
    if (g_noticesClosed || !notice) return;
    switch (notice->event) {
    case DEVICE_NOTICE_ARRIVED:
        OnDeviceArrived(notice->device);
        break;
    case DEVICE_NOTICE_LEFT:
        OnDeviceRemoved(notice->device);
        break;
    default:
        ResetDevices();
        break;
    }
}

void CloseDeviceNotices()
{
    g_noticesClosed = true;
    // A handler may be inside a message sent to this thread: keep serving until it is out.
    while (g_noticeHandlersRunning.load() > 0) ServeSentMessagesBriefly();
}

void OnDeviceArrived(AMDeviceRef device)
{
    if (!WaitUntilNoCopyThread()) return;
    if (!device) {
        ResetDevices();
        return;
    }
    bool listed = false;
    bool asked = ChangeDeviceList([device, &listed] {
        listed = FindDeviceEntry(device) != nullptr;
        if (listed) FinishArrival();
    });
    if (!asked || listed) return;
    // The device calls run on the notice thread, so that a slow device does not hold up the window.
    DeviceEntry* entry = ConnectArrivedDevice(device);
    if (!entry) {
        ResetDevices();
        return;
    }
    bool added = ChangeDeviceList([entry] {
        AppendDeviceEntry(entry);
        FillDeviceList();
        FinishArrival();
    });
    if (!added) FreeDeviceEntry(entry);
}

void OnDeviceRemoved(AMDeviceRef device)
{
    if (!WaitUntilNoCopyThread()) return;
    ChangeDeviceList([device] { RemoveDevice(device); });
}

void ResetDevices()
{
    ChangeDeviceList(DropEveryDevice);
}

void RunDeviceListChange(LPARAM change)
{
    HandedOverChange* handOver = reinterpret_cast<HandedOverChange*>(change);
    if (!handOver) return;
    // An upload started after the notice thread's wait: that thread waits again and comes back.
    if (g_copyThread.load()) {
        handOver->outcome = HandedOverChange::UPLOAD_RUNNING;
        return;
    }
    handOver->run(handOver->change);
    handOver->outcome = HandedOverChange::RAN;
}

void SelectDevice(DeviceEntry* entry)
{
    if (!entry || !IsListed(entry)) {
        ResetDevices();
        return;
    }
    DeviceEntry* current = g_currentDevice.load();
    if (current && current->openLocation != EDITION_NONE) OpenLocation(EDITION_NONE);
    g_currentDevice = entry;
    entry->openLocation = EDITION_NONE;
    FillLocationsList();
    SelectListItem(g_locationsList, 0);
    UpdateStatusLine();
}

AFCConnectionRef OpenEditionContainer(AMDeviceRef device, AppEdition code)
{
    if (g_lib.AMDeviceStartSession(device) != 0) return nullptr;
    AMServiceRef service = nullptr;
    AFCConnectionRef afc = nullptr;
    // The plain file service is started first, as the device expects, then replaced by the
    // container's own service.
    bool ok = g_lib.AMDeviceStartService(device, g_cfAfcService, &service, nullptr) == 0 &&
              StartHouseArrest(device, code, &service) && g_lib.AFCConnectionOpen(service, 0, &afc) == 0;
    if (!ok) {
        // A session left running would stand in the way of the device's next connection.
        g_lib.AMDeviceStopSession(device);
        return nullptr;
    }
    return afc;
}

void OpenLocation(AppEdition code)
{
    DeviceEntry* device = g_currentDevice.load();
    if (!device) return;
    HWND tree = MainWindowControl(IDC_FOLDER_TREE);
    if (!tree) {
        ResetDevices();
        return;
    }
    if (code == device->openLocation) return;
    if (device->openLocation != EDITION_NONE) CloseOpenLocation(device);
    device->openLocation = code;
    // The old tree is released once no control shows it any more.
    FolderTreeOwner oldTree{g_rootFolder.exchange(nullptr)};
    g_currentFolder = nullptr;
    if (code == EDITION_NONE) {
        ClearBrowser();
        UpdateStatusLine();
        return;
    }
    AFCConnectionRef afc = OpenEditionContainer(device->device, code);
    if (!afc) {
        ResetDevices();
        return;
    }
    device->afc = afc;
    ChooseUserDocsPath(afc);
    if (!ShowNewRoot(tree)) {
        ResetDevices();
        return;
    }
    UpdateStatusLine();
}

void FillDeviceList()
{
    HWND list = g_deviceList;
    if (!list || MainWindowGone()) return;
    ListView_DeleteAllItems(list);
    DeviceEntry* current = g_currentDevice.load();
    int index = 0;
    for (DeviceEntry* entry = g_devices.load(); entry; entry = entry->next, ++index) {
        int image = entry->isIPad ? IMAGE_IPAD : IMAGE_IPHONE;
        int inserted = InsertListItem(list, index, DeviceDisplayName(entry), image, reinterpret_cast<LPARAM>(entry));
        if (!ItemAdded(list, inserted == index)) return;
        if (entry == current) SelectListItem(list, index);
    }
}

void FillLocationsList()
{
    HWND list = g_locationsList;
    if (!list || MainWindowGone()) return;
    ListView_DeleteAllItems(list);
    DeviceEntry* device = g_currentDevice.load();
    if (!device) return;
    int count = EditionCount(device);
    for (int index = 0; index < count; ++index) {
        AppEdition code = device->locations[index];
        const wchar_t* text = code == EDITION_4 ? L"Tovarel 4" : code == EDITION_IPAD ? L"Tovarel for iPad" : L"Tovarel for iPhone";
        int image = code == EDITION_4 ? IMAGE_EDITION_4 : IMAGE_EDITION;
        if (!ItemAdded(list, InsertListItem(list, index, text, image, code) == index)) return;
        if (code == device->openLocation) SelectListItem(list, index);
    }
    if (count == 0) {
        int inserted = InsertListItem(list, 0, L"Tovarel app is not installed", IMAGE_EDITION_4, 0);
        if (!ItemAdded(list, inserted == 0)) return;
        ListView_SetItemState(list, 0, LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
}

void OnDeviceListChanged()
{
    int index = FirstSelectedItem(g_deviceList);
    if (index < 0) return;
    DeviceEntry* entry = DeviceAt(index);
    if (entry && entry != g_currentDevice.load()) SelectDevice(entry);
}

void OnLocationsListChanged()
{
    DeviceEntry* device = g_currentDevice.load();
    if (!device) return;
    int index = FirstSelectedItem(g_locationsList);
    if (index < 0) return;
    int count = EditionCount(device);
    if (count == 0) {
        // The "not installed" item is a note, not a choice.
        ListView_SetItemState(g_locationsList, -1, 0, LVIS_SELECTED);
        return;
    }
    if (index >= count) return;
    AppEdition code = device->locations[index];
    if (code != device->openLocation) OpenLocation(code);
}

void OnDeviceListKillFocus()
{
    DeviceEntry* device = g_currentDevice.load();
    if (!device) return;
    int index = DevicePosition(device);
    if (index >= 0 && !ListItemSelected(g_deviceList, index)) SelectListItem(g_deviceList, index);
}

void OnLocationsListKillFocus()
{
    DeviceEntry* device = g_currentDevice.load();
    if (!device || device->openLocation == EDITION_NONE) return;
    int count = EditionCount(device);
    for (int index = 0; index < count; ++index) {
        if (device->locations[index] != device->openLocation) continue;
        if (!ListItemSelected(g_locationsList, index)) SelectListItem(g_locationsList, index);
        return;
    }
}

void RefreshDiskSpace()
{
    DeviceEntry* device = g_currentDevice.load();
    AFCKeyValueReaderRef reader = nullptr;
    if (!device || !device->afc || !g_currentFolder.load() || g_lib.AFCDeviceInfoOpen(device->afc, &reader) != 0) {
        UpdateStatusLine();
        return;
    }
    bool hasTotal = false;
    bool hasFree = false;
    uint64_t total = 0;
    uint64_t freeBytes = 0;
    auto visit = [&](const char* key, const char* value) {
        if (!hasTotal && strcmp(key, "FSTotalBytes") == 0) hasTotal = ParseDecimalU64(value, &total) != 0;
        if (!hasFree && strcmp(key, "FSFreeBytes") == 0) hasFree = ParseDecimalU64(value, &freeBytes) != 0;
        return !hasTotal || !hasFree;
    };
    if (ReadPairsAndClose(reader, visit) == PairsOutcome::Read) {
        device->hasTotalBytes = hasTotal;
        device->totalBytes = hasTotal ? total : 0;
        device->hasFreeBytes = hasFree;
        device->freeBytes = hasFree ? freeBytes : 0;
        FillDeviceList();
    }
    UpdateStatusLine();
}

void ClearBrowser()
{
    // The records are dropped from the globals and the controls first, then released, so that no
    // control or other thread reaches them while they go.
    FolderTreeOwner oldTree{g_rootFolder.exchange(nullptr)};
    g_currentFolder = nullptr;
    ClearTreeView();
    if (HWND tree = MainWindowControl(IDC_FOLDER_TREE)) TreeView_SelectItem(tree, TreeView_GetRoot(tree));
    if (g_fileList) ListView_DeleteAllItems(g_fileList);
    if (HWND pathLine = MainWindowControl(IDC_PATH_LINE)) SetWindowTextW(pathLine, L"");
}

void ClearTreeView()
{
    HWND tree = MainWindowControl(IDC_FOLDER_TREE);
    if (!tree) return;
    LONG_PTR style = GetWindowLongPtrW(tree, GWL_STYLE);
    TreeView_DeleteAllItems(tree);
    SetWindowLongPtrW(tree, GWL_STYLE, style);
}

const wchar_t* DeviceDisplayName(const DeviceEntry* entry)
{
    return entry->name && entry->name[0] ? entry->name : L"???";
}

void FreeDeviceEntry(DeviceEntry* entry)
{
    if (!entry) return;
    FreeString(entry->name);
    FreeString(entry->uniqueId);
    HeapFree(GetProcessHeap(), 0, entry);
}
