#include "Devices.h"

void __cdecl OnDeviceNotice(const DeviceNotice*, void*) {}
void OnDeviceArrived(AMDeviceRef) {}
void OnDeviceRemoved(AMDeviceRef) {}
void ResetDevices() {}
void SelectDevice(DeviceEntry*) {}
void OpenLocation(AppEdition) {}
void FillDeviceList() {}
void FillLocationsList() {}
void OnDeviceListChanged() {}
void OnLocationsListChanged() {}
void OnDeviceListKillFocus() {}
void OnLocationsListKillFocus() {}
void RefreshDiskSpace() {}
void ClearBrowser() {}
void ClearTreeView() {}
void FreeDeviceEntry(DeviceEntry*) {}
void CloseDeviceNotices() {}
