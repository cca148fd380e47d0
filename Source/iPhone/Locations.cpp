// Opening an edition's container on the current device and showing its root, as the user chooses it;
// clearing the browser, and dropping every device when one fails.
#include "DeviceParts.h"

#include "DeviceFiles.h"
#include "StatusLine.h"
#include "TextUtil.h"
#include "resource.h"

namespace {

const wchar_t kAsRootPath[] = L"/Library/Application Support/" EDITION_IPHONE_IDENTIFIER ".ASRoot/UserDocs";
const wchar_t kCacheRootPath[] = L"/Library/Caches/" EDITION_IPHONE_IDENTIFIER ".CacheRoot/UserDocs";

// The number of the open location and its connection; numbers are never given twice, so that what
// was made for one opening never takes a later one for its own, even on a connection at the same
// address. Read by a copy thread too.
std::atomic<uint64_t> s_openingNumber{0};
std::atomic<AFCConnectionRef> s_openingConnection{nullptr};
uint64_t s_lastOpeningNumber;

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
    if (asRoot && DeviceFolderOpens(afc, asRoot.get())) {
        g_userDocsPath = DupString(kAsRootPath);
    } else {
        g_userDocsPath = DupString(kCacheRootPath);
    }
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

uint64_t CurrentOpening()
{
    AFCConnectionRef afc = CurrentConnection();
    uint64_t number = s_openingNumber.load();
    return afc && afc == s_openingConnection.load() ? number : 0;
}

void CloseOpenLocation(DeviceEntry* device)
{
    if (device->afc && device->afc == s_openingConnection.load()) {
        s_openingNumber = 0;
        s_openingConnection = nullptr;
    }
    if (device->afc) g_lib.AFCConnectionClose(device->afc);
    device->afc = nullptr;
    g_lib.AMDeviceStopSession(device->device);
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
    s_openingConnection = afc;
    s_openingNumber = ++s_lastOpeningNumber;
    ChooseUserDocsPath(afc);
    if (!ShowNewRoot(tree)) {
        ResetDevices();
        return;
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
    NoteFolderTreeRemoval();
    TreeView_DeleteAllItems(tree);
    SetWindowLongPtrW(tree, GWL_STYLE, style);
}

void ResetDevices()
{
    ChangeDeviceList(DropEveryDevice);
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
    if (code == device->openLocation) return;
    if (device->openLocation != EDITION_NONE && CloseRefusedForReaders()) {
        OnLocationsListKillFocus();
        return;
    }
    OpenLocation(code);
}
