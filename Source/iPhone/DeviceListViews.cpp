// The device list and the locations list views, filled from the records, and the device at each row.
#include "DeviceParts.h"
#include "DragObjects.h"

namespace {

// Device list images (g_deviceImageList).
enum : int { IMAGE_IPAD = 0, IMAGE_IPHONE = 1, IMAGE_EDITION_4 = 2, IMAGE_EDITION = 3 };

bool ListItemSelected(HWND list, int index)
{
    return (ListView_GetItemState(list, index, LVIS_SELECTED) & LVIS_SELECTED) != 0;
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

}  // namespace

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

const wchar_t* DeviceDisplayName(const DeviceEntry* entry)
{
    return entry->name && entry->name[0] ? entry->name : L"???";
}

int FirstSelectedItem(HWND list)
{
    if (!list) return -1;
    if (ListItemSelected(list, 0)) return 0;
    return ListView_GetNextItem(list, 0, LVNI_SELECTED);
}

int EditionCount(const DeviceEntry* entry)
{
    int count = 0;
    while (count < 7 && entry->locations[count] != EDITION_NONE) ++count;
    return count;
}

// Selecting always sets both the selected and the focused state.
void SelectListItem(HWND list, int index)
{
    ListView_SetItemState(list, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
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
