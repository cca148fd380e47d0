// The current device's storage figures, read again after a change.
#include "DeviceParts.h"

#include <cstring>

#include "KeyValuePairs.h"
#include "StatusLine.h"
#include "TextUtil.h"

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
