#include "DeviceParts.h"

#include "StatusLine.h"
#include "TextUtil.h"

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

namespace {

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
            // As when another device is chosen: its connection and session go with its location.
            if (entry->afc) CloseOpenLocation(entry);
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
