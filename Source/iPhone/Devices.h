// Devices as they come and go, the current device and the location opened on it.
#pragma once

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

// Runs a change of the device list that a device notice handed over (WMU_CHANGE_DEVICE_LIST) on the
// window's thread, unless an upload runs: the notice then waits for the upload and hands it over again.
void RunDeviceListChange(LPARAM change);

// Shutdown: from now on notices are ignored; returns when no handler runs any more.
void CloseDeviceNotices();

// Starts a device session and opens an AFC connection into the container of one edition through
// the house-arrest service. Null on failure, with the session stopped again.
AFCConnectionRef OpenEditionContainer(AMDeviceRef device, AppEdition code);

// Waits until no upload thread exists. On the thread that owns the main window it keeps serving
// the messages the upload thread sends meanwhile. False when device notices were closed during
// the wait on another thread (shutdown): the caller then gives up.
bool WaitUntilNoCopyThread();
