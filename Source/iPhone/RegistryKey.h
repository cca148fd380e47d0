// An open registry key, closed when its owner goes.
#pragma once

#include <windows.h>

struct RegistryKey {
    HKEY handle = nullptr;
    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey()
    {
        if (handle) RegCloseKey(handle);
    }
};
