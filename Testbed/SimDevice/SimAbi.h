// The simulated libraries' own statement of Apple's binary interface, written from CoreFoundation's
// documented types and the mobile device library's calling conventions for each architecture. It
// deliberately shares nothing with the program's declarations: a type the program gets wrong then
// differs from this one, and the tests that call through the program's binding fail.
#pragma once

#include <cstddef>
#include <cstdint>

// CoreFoundation: on 64-bit Windows its headers define __LLP64__, and with it CFIndex as a signed
// 64-bit integer; on 32-bit Windows CFIndex is a signed long. CFRange is two CFIndex: 8 bytes passed
// in a register (or on the stack) on x86, 16 bytes passed by reference on x64.
#ifdef _WIN64
typedef signed long long CFIndex;
typedef unsigned long long CFTypeID;
#else
typedef signed long CFIndex;
typedef unsigned long CFTypeID;
#endif
typedef struct {
    CFIndex location;
    CFIndex length;
} CFRange;
typedef const void* CFTypeRef;
typedef const struct __CFString* CFStringRef;
typedef const struct __CFDictionary* CFDictionaryRef;

// The mobile device library's handles: all pointers.
typedef struct __AMDevice* AMDeviceRef;
typedef struct __AFCConnection* AFCConnectionRef;
typedef struct __AFCDirectory* AFCDirectoryRef;
typedef struct __AFCKeyValueReader* AFCKeyValueReaderRef;
typedef struct __AMNotification* AMNotificationRef;
typedef void* AMServiceRef;
// File references and open modes are 64-bit on both architectures.
typedef unsigned long long AFCFileRef;
// Byte counts written through a pointer are machine words: this library writes all 64 bits of one
// on x64, so a caller that passes a 32-bit variable there has its neighbour overwritten.
typedef size_t AFCByteCount;

// A device notice as the library hands it to the subscriber.
struct AMDeviceNotice {
    AMDeviceRef device;
    unsigned int event;  // 1 arrived, 2 left
};
enum : unsigned int { SIM_NOTICE_ARRIVED = 1, SIM_NOTICE_LEFT = 2 };
typedef void(__cdecl* AMDeviceNoticeHandler)(const AMDeviceNotice* notice, void* context);
