#include "DeviceLibrary.h"

DeviceLibrary g_lib;

bool BindDeviceLibrary() { return false; }
void UnbindDeviceLibrary() {}
CFStringRef MakeConstantString(const char*) { return nullptr; }
void ReleaseMadeString(CFStringRef) {}
