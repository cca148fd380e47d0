// Loading Apple's mobile device library and CoreFoundation, and the strings made through them.
#include "DeviceLibrary.h"

#include <climits>
#include <cstring>
#include <cwchar>

#include "RegistryKey.h"
#include "TextUtil.h"

DeviceLibrary g_lib;

namespace {

const wchar_t* const kSharedKey = L"SOFTWARE\\Apple Inc.\\Apple Mobile Device Support\\Shared";
const wchar_t* const kLibraryValue = L"iTunesMobileDeviceDLL";
const wchar_t* const kSupportKey = L"SOFTWARE\\Apple Inc.\\Apple Application Support";
const wchar_t* const kInstallDirValue = L"InstallDir";
const wchar_t* const kCoreFoundationFile = L"CoreFoundation.dll";

const wchar_t* const kNotInstalled = L"iTunes is not installed";
const wchar_t* const kTooOld = L"iTunes is not installed or its version is too old";

// Written only by the user-interface thread at start-up and shutdown, when no other thread of the
// program uses the library.
HMODULE s_mobileDevice;
HMODULE s_coreFoundation;  // only when CoreFoundation was loaded from its own install folder

// The fixed head of the program's own constant-string record; the length byte and the text follow.
const unsigned char kOwnStringHead[8] = {0x00, 0x00, 0x00, 0x00, 0x8C, 0x07, 0x01, 0x00};

void ShowBindError(const wchar_t* text)
{
    MessageBoxW(nullptr, text, L"Fatal Error", MB_OK);
}

// A non-empty REG_SZ value under HKEY_LOCAL_MACHINE, or null. The buffer always ends in a zero,
// whatever the stored data looks like (odd byte counts, no terminator of its own).
OwnedWide ReadMachineString(const wchar_t* keyPath, const wchar_t* valueName)
{
    RegistryKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &key.handle) != ERROR_SUCCESS) return nullptr;
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key.handle, valueName, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return nullptr;
    if (type != REG_SZ || bytes == 0) return nullptr;
    // Room for every stored byte (an odd count rounds up) and one more unit for the terminator.
    const DWORD maxBytes = 0x10000000;
    if (bytes > maxBytes) return nullptr;
    DWORD dataUnits = (bytes + 1) / sizeof(wchar_t);
    DWORD capacityBytes = dataUnits * sizeof(wchar_t);
    OwnedWide text(
        static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (dataUnits + 1) * sizeof(wchar_t))));
    if (!text) return nullptr;
    DWORD readBytes = capacityBytes;
    if (RegQueryValueExW(key.handle, valueName, nullptr, &type, reinterpret_cast<BYTE*>(text.get()), &readBytes) !=
        ERROR_SUCCESS) {
        return nullptr;
    }
    // The value may have been rewritten between the two reads.
    if (type != REG_SZ || readBytes > capacityBytes) return nullptr;
    text.get()[(readBytes + 1) / sizeof(wchar_t)] = L'\0';
    if (text.get()[0] == L'\0') return nullptr;
    return text;
}

void* FindFunction(HMODULE module, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(module, name));
}

// Every entry of the table, in table order, each from its own library. False at the first one
// missing; the table is then partly filled and must be thrown away.
bool ResolveFunctions(DeviceLibrary& table, HMODULE mobileDevice, HMODULE coreFoundation)
{
#define TOVAREL_RESOLVE(module, name) \
    if (!(table.name = reinterpret_cast<decltype(table.name)>(FindFunction(module, #name)))) return false
    TOVAREL_RESOLVE(mobileDevice, AMDeviceNotificationSubscribe);
    TOVAREL_RESOLVE(mobileDevice, AMDeviceConnect);
    TOVAREL_RESOLVE(mobileDevice, AMDeviceDisconnect);
    TOVAREL_RESOLVE(mobileDevice, AMDeviceIsPaired);
    TOVAREL_RESOLVE(mobileDevice, AMDeviceValidatePairing);
    TOVAREL_RESOLVE(mobileDevice, AMDeviceStartSession);
    TOVAREL_RESOLVE(mobileDevice, AMDeviceStopSession);
    TOVAREL_RESOLVE(mobileDevice, AMDeviceStartService);
    TOVAREL_RESOLVE(mobileDevice, AFCConnectionOpen);
    TOVAREL_RESOLVE(mobileDevice, AFCConnectionClose);
    TOVAREL_RESOLVE(mobileDevice, AFCDeviceInfoOpen);
    TOVAREL_RESOLVE(mobileDevice, AFCDirectoryOpen);
    TOVAREL_RESOLVE(mobileDevice, AFCDirectoryRead);
    TOVAREL_RESOLVE(mobileDevice, AFCDirectoryClose);
    TOVAREL_RESOLVE(mobileDevice, AFCDirectoryCreate);
    TOVAREL_RESOLVE(mobileDevice, AFCFileInfoOpen);
    TOVAREL_RESOLVE(mobileDevice, AFCKeyValueRead);
    TOVAREL_RESOLVE(mobileDevice, AFCKeyValueClose);
    TOVAREL_RESOLVE(mobileDevice, AFCRenamePath);
    TOVAREL_RESOLVE(mobileDevice, AFCRemovePath);
    TOVAREL_RESOLVE(mobileDevice, AFCFileRefOpen);
    TOVAREL_RESOLVE(mobileDevice, AFCFileRefRead);
    TOVAREL_RESOLVE(mobileDevice, AFCFileRefWrite);
    TOVAREL_RESOLVE(mobileDevice, AFCFileRefClose);
    TOVAREL_RESOLVE(mobileDevice, AMDeviceLookupApplications);
    TOVAREL_RESOLVE(coreFoundation, CFRelease);
    TOVAREL_RESOLVE(coreFoundation, CFStringGetLength);
    TOVAREL_RESOLVE(coreFoundation, CFStringGetCharacters);
    TOVAREL_RESOLVE(mobileDevice, AMDeviceCopyValue);
    TOVAREL_RESOLVE(mobileDevice, AMDeviceStartHouseArrestService);
    TOVAREL_RESOLVE(coreFoundation, CFDictionaryGetValue);
    TOVAREL_RESOLVE(coreFoundation, CFDictionaryCreate);
    TOVAREL_RESOLVE(coreFoundation, __CFStringMakeConstantString);
#undef TOVAREL_RESOLVE
    return true;
}

void UnloadLibraries(HMODULE mobileDevice, HMODULE coreFoundation)
{
    if (mobileDevice) FreeLibrary(mobileDevice);
    if (coreFoundation) FreeLibrary(coreFoundation);
}

}  // namespace

bool BindDeviceLibrary()
{
    // Bound already: the strings made through it stay valid.
    if (s_mobileDevice) return true;
    g_lib = DeviceLibrary{};

    OwnedWide libraryPath = ReadMachineString(kSharedKey, kLibraryValue);
    if (!libraryPath) {
        ShowBindError(kNotInstalled);
        return false;
    }
    OwnedWide coreFoundationPath;
    if (OwnedWide installDir = ReadMachineString(kSupportKey, kInstallDirValue)) {
        // The mobile device library finds CoreFoundation and its other companions there.
        SetDllDirectoryW(installDir.get());
        // The recorded folder ends in a separator; none is added.
        coreFoundationPath.reset(ConcatStrings(installDir.get(), kCoreFoundationFile));
        if (!coreFoundationPath) {
            ShowBindError(kNotInstalled);
            return false;
        }
    }

    HMODULE mobileDevice = LoadLibraryW(libraryPath.get());
    if (!mobileDevice) {
        ShowBindError(kNotInstalled);
        return false;
    }
    HMODULE coreFoundation = nullptr;
    if (coreFoundationPath) {
        coreFoundation = LoadLibraryW(coreFoundationPath.get());
        if (!coreFoundation) {
            FreeLibrary(mobileDevice);
            ShowBindError(kNotInstalled);
            return false;
        }
    }

    // Without a CoreFoundation of its own, its functions are looked for in the program's own file,
    // which exports none of them: such an installation is reported as too old.
    DeviceLibrary table{};
    HMODULE coreFoundationSearch = coreFoundation ? coreFoundation : GetModuleHandleW(nullptr);
    if (!ResolveFunctions(table, mobileDevice, coreFoundationSearch)) {
        UnloadLibraries(mobileDevice, coreFoundation);
        ShowBindError(kTooOld);
        return false;
    }
    s_mobileDevice = mobileDevice;
    s_coreFoundation = coreFoundation;
    g_lib = table;
    return true;
}

void UnbindDeviceLibrary()
{
    HMODULE mobileDevice = s_mobileDevice;
    HMODULE coreFoundation = s_coreFoundation;
    s_mobileDevice = nullptr;
    s_coreFoundation = nullptr;
    g_lib = DeviceLibrary{};
    UnloadLibraries(mobileDevice, coreFoundation);
}

CFStringRef MakeConstantString(const char* text)
{
    if (!text) return nullptr;
    if (s_coreFoundation) return g_lib.__CFStringMakeConstantString(text);

    size_t length = strlen(text);
    if (length > static_cast<size_t>(INT_MAX) - 10) return nullptr;
    unsigned char* record = static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), 0, length + 10));
    if (!record) return nullptr;
    memcpy(record, kOwnStringHead, sizeof(kOwnStringHead));
    record[8] = static_cast<unsigned char>(length & 0xFF);
    memcpy(record + 9, text, length + 1);
    return reinterpret_cast<CFStringRef>(record);
}

void ReleaseMadeString(CFStringRef string)
{
    if (!string) return;
    if (s_coreFoundation) {
        g_lib.CFRelease(string);
    } else {
        FreeString(string);
    }
}
