// The simulated CoreFoundation (test equipment): Apple's names that the program and the simulated
// mobile device library use, plus a few helpers of its own ("SimCF" names) that the mobile device
// library needs to make and read objects, and that tests use to check object bookkeeping.
//
// Objects are tagged and every live one is registered, so a pointer that is not a live object of
// the expected kind is never dereferenced: such a call is counted (SimCFBadCalls) and fails safely
// (nothing happens, or null/0 comes back).
#pragma once

#include "SimAbi.h"

#ifdef SIM_CF_BUILD
#define SIM_CF_API __declspec(dllexport)
#else
#define SIM_CF_API
#endif

extern "C" {

// Apple's names, with Apple's signatures.
SIM_CF_API void __cdecl CFRelease(CFTypeRef object);
SIM_CF_API CFTypeRef __cdecl CFRetain(CFTypeRef object);
SIM_CF_API CFIndex __cdecl CFGetRetainCount(CFTypeRef object);
SIM_CF_API CFIndex __cdecl CFStringGetLength(CFStringRef string);
SIM_CF_API void __cdecl CFStringGetCharacters(CFStringRef string, CFRange range, uint16_t* buffer);
SIM_CF_API const void* __cdecl CFDictionaryGetValue(CFDictionaryRef dictionary, const void* key);
SIM_CF_API CFIndex __cdecl CFDictionaryGetCount(CFDictionaryRef dictionary);
// Null key callbacks: keys compare by pointer and nothing is retained (as the program's options).
// Any non-null key callbacks: string keys compare by content and keys are retained; any non-null
// value callbacks: values are retained. The callbacks themselves are never called.
SIM_CF_API CFDictionaryRef __cdecl CFDictionaryCreate(const void* allocator, const void** keys, const void** values,
                                                      CFIndex count, const void* keyCallBacks,
                                                      const void* valueCallBacks);
// The same object for the same text, for the life of the process; CFRelease on it does nothing.
SIM_CF_API CFStringRef __cdecl __CFStringMakeConstantString(const char* text);

// A new string (one reference) from UTF-8 text; invalid UTF-8 is read byte by byte as Latin-1.
SIM_CF_API CFStringRef __cdecl SimCFStringCreateUtf8(const char* text);
// Writes the string as UTF-8 with a terminating zero (truncated to fit when the buffer is short).
// Returns the full UTF-8 length in bytes without the zero, or -1 when this is not a string.
SIM_CF_API CFIndex __cdecl SimCFStringToUtf8(CFStringRef string, char* buffer, CFIndex bufferSize);
// A new dictionary whose string keys compare by content. It takes over the caller's reference of
// every key and value, and releases them when it is freed.
SIM_CF_API CFDictionaryRef __cdecl SimCFDictionaryCreateOwned(const void** keys, const void** values, CFIndex count);
// The value whose key is a string with this text, in any dictionary (whatever its key mode).
SIM_CF_API const void* __cdecl SimCFDictionaryFindText(CFDictionaryRef dictionary, const char* key);
// Live objects other than constant strings (a leak check for tests).
SIM_CF_API unsigned __cdecl SimCFLiveObjects(void);
// Calls that were given something other than a live object of the right kind, or a bad range.
SIM_CF_API unsigned __cdecl SimCFBadCalls(void);
}
