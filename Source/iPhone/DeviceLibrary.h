// Apple's mobile device library and CoreFoundation, bound at run time.
#pragma once

#include <windows.h>
#include <cstdint>

// Opaque references handed out by the libraries.
typedef const void* CFTypeRef;
typedef const struct OpaqueCFString* CFStringRef;
typedef const struct OpaqueCFDictionary* CFDictionaryRef;
// CoreFoundation's CFIndex is pointer-sized on Windows: a 32-bit long on x86 and, with __LLP64__,
// a 64-bit long long on x64, where CFRange (two of them) is then passed by reference.
typedef intptr_t CFIndex;
struct CFRange {
    CFIndex location;
    CFIndex length;
};
typedef struct OpaqueAMDevice* AMDeviceRef;
typedef struct OpaqueAFCConnection* AFCConnectionRef;
typedef struct OpaqueAFCDirectory* AFCDirectoryRef;
typedef struct OpaqueAFCKeyValueReader* AFCKeyValueReaderRef;
typedef struct OpaqueAMNotification* AMNotificationRef;
typedef void* AMServiceRef;
typedef uint64_t AFCFileRef;
// A byte count that the library writes through a pointer, whose width on x64 is not documented:
// a zero-initialised 64-bit variable reads right whether it writes 32 or 64 bits (little-endian),
// where a 32-bit one would be overrun by a 64-bit write.
typedef uint64_t AFCByteCount;

// Event codes of a device notice.
enum : uint32_t { DEVICE_NOTICE_ARRIVED = 1, DEVICE_NOTICE_LEFT = 2 };

// The record the library passes to the notice handler.
struct DeviceNotice {
    AMDeviceRef device;
    uint32_t event;
};
typedef void(__cdecl* DeviceNoticeHandler)(const DeviceNotice* notice, void* context);

// AFC open modes.
enum : uint64_t { AFC_MODE_READ_WRITE = 2, AFC_MODE_CREATE_WRITE = 3 };

// Every function the program uses, in resolution order.
struct DeviceLibrary {
    int(__cdecl* AMDeviceNotificationSubscribe)(DeviceNoticeHandler, uint32_t, uint32_t, void*, AMNotificationRef*);
    int(__cdecl* AMDeviceConnect)(AMDeviceRef);
    int(__cdecl* AMDeviceDisconnect)(AMDeviceRef);
    int(__cdecl* AMDeviceIsPaired)(AMDeviceRef);
    int(__cdecl* AMDeviceValidatePairing)(AMDeviceRef);
    int(__cdecl* AMDeviceStartSession)(AMDeviceRef);
    int(__cdecl* AMDeviceStopSession)(AMDeviceRef);
    int(__cdecl* AMDeviceStartService)(AMDeviceRef, CFStringRef, AMServiceRef*, void*);
    int(__cdecl* AFCConnectionOpen)(AMServiceRef, uint32_t, AFCConnectionRef*);
    int(__cdecl* AFCConnectionClose)(AFCConnectionRef);
    int(__cdecl* AFCDeviceInfoOpen)(AFCConnectionRef, AFCKeyValueReaderRef*);
    int(__cdecl* AFCDirectoryOpen)(AFCConnectionRef, const char*, AFCDirectoryRef*);
    int(__cdecl* AFCDirectoryRead)(AFCConnectionRef, AFCDirectoryRef, char**);
    int(__cdecl* AFCDirectoryClose)(AFCConnectionRef, AFCDirectoryRef);
    int(__cdecl* AFCDirectoryCreate)(AFCConnectionRef, const char*);
    int(__cdecl* AFCFileInfoOpen)(AFCConnectionRef, const char*, AFCKeyValueReaderRef*);
    int(__cdecl* AFCKeyValueRead)(AFCKeyValueReaderRef, char**, char**);
    int(__cdecl* AFCKeyValueClose)(AFCKeyValueReaderRef);
    int(__cdecl* AFCRenamePath)(AFCConnectionRef, const char*, const char*);
    int(__cdecl* AFCRemovePath)(AFCConnectionRef, const char*);
    int(__cdecl* AFCFileRefOpen)(AFCConnectionRef, const char*, uint64_t, AFCFileRef*);
    int(__cdecl* AFCFileRefRead)(AFCConnectionRef, AFCFileRef, void*, AFCByteCount*);
    int(__cdecl* AFCFileRefWrite)(AFCConnectionRef, AFCFileRef, const void*, uint32_t);
    int(__cdecl* AFCFileRefClose)(AFCConnectionRef, AFCFileRef);
    int(__cdecl* AMDeviceLookupApplications)(AMDeviceRef, CFDictionaryRef, CFDictionaryRef*);
    void(__cdecl* CFRelease)(CFTypeRef);
    CFIndex(__cdecl* CFStringGetLength)(CFStringRef);
    void(__cdecl* CFStringGetCharacters)(CFStringRef, CFRange, uint16_t*);
    CFStringRef(__cdecl* AMDeviceCopyValue)(AMDeviceRef, CFStringRef, CFStringRef);
    int(__cdecl* AMDeviceStartHouseArrestService)(AMDeviceRef, CFStringRef, CFDictionaryRef, AMServiceRef*, void*);
    const void*(__cdecl* CFDictionaryGetValue)(CFDictionaryRef, const void*);
    CFDictionaryRef(__cdecl* CFDictionaryCreate)(const void*, const void**, const void**, CFIndex, const void*, const void*);
    CFStringRef(__cdecl* __CFStringMakeConstantString)(const char*);
};

// The bound functions; set once at start-up, then only read.
extern DeviceLibrary g_lib;

// Loads both libraries and resolves every function (all or nothing). On failure it has shown
// its message and unloaded what it loaded.
bool BindDeviceLibrary();
// Unloads the mobile device library, then CoreFoundation if it was loaded separately.
void UnbindDeviceLibrary();
// Makes a constant string from 8-bit text (CoreFoundation's maker, or the program's own when no
// separate CoreFoundation is loaded). Null on failure.
CFStringRef MakeConstantString(const char* text);
// Releases a string made by MakeConstantString.
void ReleaseMadeString(CFStringRef string);
// A copy of the string's text (the caller owns it: FreeString); null when it has none or memory runs out.
wchar_t* CfStringToUtf16(CFStringRef string);
