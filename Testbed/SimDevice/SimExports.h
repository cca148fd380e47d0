// The mobile device functions the simulated library exports, as the program binds them. The
// definitions include this header, so a signature that drifts from it does not compile, and
// SimAbiCheck.cpp holds this list against the program's function table.
#pragma once

#include "SimAbi.h"

extern "C" {
int __cdecl AMDeviceNotificationSubscribe(AMDeviceNoticeHandler handler, uint32_t unused1, uint32_t unused2,
                                          void* context, AMNotificationRef* subscription);
int __cdecl AMDeviceNotificationUnsubscribe(AMNotificationRef subscription);
int __cdecl AMDeviceConnect(AMDeviceRef device);
int __cdecl AMDeviceDisconnect(AMDeviceRef device);
int __cdecl AMDeviceIsPaired(AMDeviceRef device);
int __cdecl AMDeviceValidatePairing(AMDeviceRef device);
int __cdecl AMDeviceStartSession(AMDeviceRef device);
int __cdecl AMDeviceStopSession(AMDeviceRef device);
int __cdecl AMDeviceStartService(AMDeviceRef device, CFStringRef name, AMServiceRef* service, void* unknown);
int __cdecl AFCConnectionOpen(AMServiceRef service, uint32_t timeout, AFCConnectionRef* connection);
int __cdecl AFCConnectionClose(AFCConnectionRef connection);
int __cdecl AFCDeviceInfoOpen(AFCConnectionRef connection, AFCKeyValueReaderRef* reader);
int __cdecl AFCDirectoryOpen(AFCConnectionRef connection, const char* path, AFCDirectoryRef* directory);
int __cdecl AFCDirectoryRead(AFCConnectionRef connection, AFCDirectoryRef directory, char** name);
int __cdecl AFCDirectoryClose(AFCConnectionRef connection, AFCDirectoryRef directory);
int __cdecl AFCDirectoryCreate(AFCConnectionRef connection, const char* path);
int __cdecl AFCFileInfoOpen(AFCConnectionRef connection, const char* path, AFCKeyValueReaderRef* reader);
int __cdecl AFCKeyValueRead(AFCKeyValueReaderRef reader, char** key, char** value);
int __cdecl AFCKeyValueClose(AFCKeyValueReaderRef reader);
int __cdecl AFCRenamePath(AFCConnectionRef connection, const char* oldPath, const char* newPath);
int __cdecl AFCRemovePath(AFCConnectionRef connection, const char* path);
int __cdecl AFCFileRefOpen(AFCConnectionRef connection, const char* path, uint64_t mode, AFCFileRef* file);
int __cdecl AFCFileRefRead(AFCConnectionRef connection, AFCFileRef file, void* buffer, AFCByteCount* length);
int __cdecl AFCFileRefWrite(AFCConnectionRef connection, AFCFileRef file, const void* buffer, uint32_t length);
int __cdecl AFCFileRefClose(AFCConnectionRef connection, AFCFileRef file);
int __cdecl AMDeviceLookupApplications(AMDeviceRef device, CFDictionaryRef options, CFDictionaryRef* applications);
CFStringRef __cdecl AMDeviceCopyValue(AMDeviceRef device, CFStringRef domain, CFStringRef key);
int __cdecl AMDeviceStartHouseArrestService(AMDeviceRef device, CFStringRef identifier, CFDictionaryRef options,
                                            AMServiceRef* service, void* unknown);
}
