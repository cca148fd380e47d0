// What the window shows of an arriving device, read through a connection of its own.
#include "DeviceParts.h"

#include <cstring>

#include "KeyValuePairs.h"
#include "TextUtil.h"

namespace {

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

}  // namespace

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

void FreeDeviceEntry(DeviceEntry* entry)
{
    if (!entry) return;
    FreeString(entry->name);
    FreeString(entry->uniqueId);
    HeapFree(GetProcessHeap(), 0, entry);
}
