// Devices as they come and go: the library's notices, arrivals and removals, and the choice of device.
#include "DeviceParts.h"

#include "StatusLine.h"
#include "TextUtil.h"

namespace {

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

void OnDeviceListChanged()
{
    int index = FirstSelectedItem(g_deviceList);
    if (index < 0) return;
    DeviceEntry* entry = DeviceAt(index);
    if (entry && entry != g_currentDevice.load()) SelectDevice(entry);
}

void __cdecl OnDeviceNotice(const DeviceNotice* notice, void*)
{
    RunningNoticeHandler running;
    if (!NoticesOpenOnceWindowBuilt() || !notice) return;
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
