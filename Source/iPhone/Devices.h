// Devices as they come and go, the current device and the location opened on it: what the rest of
// the program uses of the device files (DeviceArrivals, DeviceConnection, DeviceListViews, Locations,
// DiskSpace), which share DeviceParts.h among themselves.
#pragma once

#include "DeviceNotices.h"
#include "iPhone.h"

void __cdecl OnDeviceNotice(const DeviceNotice* notice, void* context);
void OnDeviceArrived(AMDeviceRef device);
void OnDeviceRemoved(AMDeviceRef device);
void ResetDevices();
void SelectDevice(DeviceEntry* entry);
void OpenLocation(AppEdition code);
void FillDeviceList();
void FillLocationsList();
void OnDeviceListChanged();
void OnLocationsListChanged();
void OnDeviceListKillFocus();
void OnLocationsListKillFocus();
void RefreshDiskSpace();
void ClearBrowser();
void ClearTreeView();
void FreeDeviceEntry(DeviceEntry* entry);
// The name the window shows for a device: "???" when it has none, or an empty one.
const wchar_t* DeviceDisplayName(const DeviceEntry* entry);

// Starts a device session and opens an AFC connection into the container of one edition through
// the house-arrest service. Null on failure, with the session stopped again.
AFCConnectionRef OpenEditionContainer(AMDeviceRef device, AppEdition code);
